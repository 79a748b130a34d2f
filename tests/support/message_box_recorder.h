#pragma once

#include "host/message_box.h"

#include <QList>

#include <deque>

namespace tarnlow::test {

// Replaces the message-box handler while it lives: records every request and answers with the
// buttons queued in advance (the default button when none is queued).
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void queueAnswer(int button) { m_answers.push_back(button); }
    const QList<MessageBoxRequest>& requests() const { return m_requests; }
    void clear() { m_requests.clear(); }

private:
    QList<MessageBoxRequest> m_requests;
    std::deque<int> m_answers;
    MessageBoxHandler m_previous;
};

} // namespace tarnlow::test
