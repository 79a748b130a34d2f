#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace tarnlow::cli {

// The exit code of a command stopped by Ctrl+C, as shells report a process ended by SIGINT.
inline constexpr int kExitInterrupted = 130;

// For scripts and tests that interrupt a command: the environment variable names a file that is
// created as soon as the command handles Ctrl+C, so that they need not guess when that is.
inline constexpr char kInterruptReadyVariable[] = "TARNLOW_AS_CTRL_C_READY";

// Prints "tarnlow_as_cli: <text>" on standard error and returns kExitInterrupted.
int interruptedFailure(const QString& text);

// Turns Ctrl+C (SIGINT) into a request the running command answers on its own thread: the signal
// handler only notes it, and interrupted() is emitted from the event loop. While no watch exists,
// or while it is not armed, Ctrl+C ends the process at once with kExitInterrupted and a message,
// which is safe wherever nothing has been changed yet or the database discards what is unfinished.
// A second Ctrl+C after the first always ends the process at once. Once the handler is in place,
// the file that kInterruptReadyVariable names, if any, is created.
class InterruptWatch : public QObject {
    Q_OBJECT

public:
    InterruptWatch();
    ~InterruptWatch() override;
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // Armed: Ctrl+C is delivered as interrupted() instead of ending the process.
    void setArmed(bool armed);
    bool wasInterrupted() const;

    // Ends the process at once: message on standard error, exit code kExitInterrupted.
    [[noreturn]] static void exitNow(const char* message);

Q_SIGNALS:
    void interrupted();

private:
    void readSignal();

    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace tarnlow::cli
