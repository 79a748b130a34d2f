#include "support/message_box_recorder.h"

namespace tarnlow::test {

MessageBoxRecorder::MessageBoxRecorder() {
    m_previous = setMessageBoxHandler([this](const MessageBoxRequest& request) {
        m_requests.append(request);
        if (m_answers.empty())
            return request.defaultButton;
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    });
}

MessageBoxRecorder::~MessageBoxRecorder() {
    setMessageBoxHandler(std::move(m_previous));
}

} // namespace tarnlow::test
