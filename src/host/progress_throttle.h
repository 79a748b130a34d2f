#pragma once

#include <QElapsedTimer>

namespace tarnlow {

// Lets progress through at most once per interval, so that a job reporting every piece of a large
// value does not flood the thread that shows it; the last report of a piece of work always passes.
class ProgressThrottle {
public:
    explicit ProgressThrottle(qint64 intervalMs = 40)
        : m_intervalMs(intervalMs) {}

    bool due(bool last = false) {
        if (!last && m_timer.isValid() && m_timer.elapsed() < m_intervalMs)
            return false;
        m_timer.start();
        return true;
    }

private:
    qint64 m_intervalMs;
    QElapsedTimer m_timer;
};

} // namespace tarnlow
