#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

#include <sys/types.h>
#include <sys/wait.h>

namespace tarnlow::test {

// A program run on a pseudo-terminal, as from an operator's shell: its standard output and error
// are the terminal, so it shows what it shows a person (progress lines), and the test reads it,
// interrupts it at a point of its choosing and collects its exit code.
class TerminalProcess {
public:
    TerminalProcess() = default;
    ~TerminalProcess();
    TerminalProcess(const TerminalProcess&) = delete;
    TerminalProcess& operator=(const TerminalProcess&) = delete;

    bool start(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment);
    // Reads until `seen` holds for everything read so far, the program ends, or timeoutMs pass.
    bool waitFor(const std::function<bool(const QString& text)>& seen, int timeoutMs);
    // Reads what the program prints until the file exists, the program ends, or timeoutMs pass;
    // whether the file exists.
    bool waitForFile(const QString& path, int timeoutMs);
    // Sends SIGINT, as Ctrl+C in the terminal does.
    void interrupt();
    // Waits for the end and returns the exit code; -1 when it was killed by a signal or did not end
    // within timeoutMs (it is killed then).
    int waitForExit(int timeoutMs);
    // After waitForExit: the signal that ended the program, 0 when it exited by itself.
    int endingSignal() const { return m_exited && WIFSIGNALED(m_status) ? WTERMSIG(m_status) : 0; }
    QString text() const { return QString::fromUtf8(m_read); }

private:
    void readAvailable(int timeoutMs);

    pid_t m_pid = -1;
    int m_master = -1;
    QByteArray m_read;
    bool m_exited = false;
    int m_status = 0;
};

} // namespace tarnlow::test
