#include "support/terminal_process.h"

#include <QElapsedTimer>
#include <QFile>

#include <csignal>
#include <vector>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnlow::test {

TerminalProcess::~TerminalProcess() {
    if (m_pid > 0 && !m_exited) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &m_status, 0);
    }
    if (m_master >= 0)
        ::close(m_master);
}

bool TerminalProcess::start(const QString& program, const QStringList& arguments,
                            const QProcessEnvironment& environment) {
    // Everything the child needs is prepared before the fork.
    std::vector<QByteArray> argumentBytes{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        argumentBytes.push_back(argument.toLocal8Bit());
    std::vector<QByteArray> environmentBytes;
    for (const QString& entry : environment.toStringList())
        environmentBytes.push_back(entry.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& bytes : argumentBytes)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (QByteArray& bytes : environmentBytes)
        envp.push_back(bytes.data());
    envp.push_back(nullptr);

    winsize size{};
    size.ws_col = 200;
    size.ws_row = 40;
    m_pid = ::forkpty(&m_master, nullptr, nullptr, &size);
    if (m_pid < 0)
        return false;
    if (m_pid == 0) {
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    return true;
}

void TerminalProcess::readAvailable(int timeoutMs) {
    pollfd descriptor{m_master, POLLIN, 0};
    if (::poll(&descriptor, 1, timeoutMs) <= 0)
        return;
    char buffer[4096];
    const ssize_t count = ::read(m_master, buffer, sizeof(buffer));
    if (count > 0)
        m_read.append(buffer, count);
}

bool TerminalProcess::waitFor(const std::function<bool(const QString& text)>& seen, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!seen(text())) {
        if (timer.elapsed() > timeoutMs)
            return false;
        if (!m_exited && ::waitpid(m_pid, &m_status, WNOHANG) == m_pid)
            m_exited = true;
        readAvailable(m_exited ? 0 : 20);
        if (m_exited) {
            // Drain what is left, then decide once more.
            for (int i = 0; i < 50; ++i)
                readAvailable(0);
            return seen(text());
        }
    }
    return true;
}

bool TerminalProcess::waitForFile(const QString& path, int timeoutMs) {
    waitFor([&path](const QString&) { return QFile::exists(path); }, timeoutMs);
    return QFile::exists(path);
}

void TerminalProcess::interrupt() {
    if (m_pid > 0 && !m_exited)
        ::kill(m_pid, SIGINT);
}

int TerminalProcess::waitForExit(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!m_exited) {
        if (::waitpid(m_pid, &m_status, WNOHANG) == m_pid) {
            m_exited = true;
            break;
        }
        if (timer.elapsed() > timeoutMs) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &m_status, 0);
            m_exited = true;
            return -1;
        }
        readAvailable(20);
    }
    for (int i = 0; i < 50; ++i)
        readAvailable(0);
    return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
}

} // namespace tarnlow::test
