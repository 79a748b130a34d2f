#pragma once

#include <QString>

#include <functional>

namespace tarnlow {

enum class MessageIcon { None, Information, Question, Warning, Error };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };

struct MessageBoxRequest {
    QString title;
    QString text;
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;
    int defaultButton = 1;
};

// Shows a message box and returns the number of the pressed button (1 = first button).
// The core never includes a widget header: the windows library installs a QMessageBox handler,
// the command-line tool one that prints to standard error, and tests one that records the request
// and answers with a prepared button.
using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

int showMessageBox(const MessageBoxRequest& request);

// Installs a handler and returns the previous one.
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);

} // namespace tarnlow
