#pragma once

#include "host/message_box.h"

namespace tarnlow {

// The handler that shows a request as a real QMessageBox and returns the pressed button's number
// (1 = first button of the set, as showMessageBox promises).
int showMessageBoxDialog(const MessageBoxRequest& request);

// Installs showMessageBoxDialog as the message-box handler of the windows program.
void installDialogMessageBoxHandler();

} // namespace tarnlow
