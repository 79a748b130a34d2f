#include "cli/interrupt.h"

#include "cli/command.h"

#include <QFile>
#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace tarnlow::cli {
namespace {

// Shared with the signal handler, which may use nothing but these and async-signal-safe calls.
std::atomic<int> signalPipe{-1};
std::atomic<bool> armed{false};
std::atomic<int> interruptions{0};
struct sigaction previousAction {};

constexpr char kStoppedAtOnce[] = "\ntarnlow_as_cli: stopped by Ctrl+C\n";

void writeAll(int descriptor, const char* text, size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(descriptor, text, length);
        if (written <= 0)
            return;
        text += written;
        length -= static_cast<size_t>(written);
    }
}

void onInterrupt(int) {
    const int count = interruptions.fetch_add(1) + 1;
    const int descriptor = signalPipe.load();
    if (!armed.load() || count > 1 || descriptor < 0) {
        writeAll(STDERR_FILENO, kStoppedAtOnce, sizeof(kStoppedAtOnce) - 1);
        ::_exit(kExitInterrupted);
    }
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(descriptor, &byte, 1);
}

} // namespace

int interruptedFailure(const QString& text) {
    printError(QStringLiteral("tarnlow_as_cli: ") + text);
    return kExitInterrupted;
}

InterruptWatch::InterruptWatch() {
    interruptions.store(0);
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        signalPipe.store(m_pipe[1]);
        m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &InterruptWatch::readSignal);
    }
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes of the database clients resume rather than fail.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousAction);
    const QString ready = qEnvironmentVariable(kInterruptReadyVariable);
    if (!ready.isEmpty()) {
        QFile file(ready);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            printError(QStringLiteral("tarnlow_as_cli: cannot create %1 (%2): %3")
                           .arg(ready, QLatin1String(kInterruptReadyVariable), file.errorString()));
    }
}

InterruptWatch::~InterruptWatch() {
    armed.store(false);
    ::sigaction(SIGINT, &previousAction, nullptr);
    signalPipe.store(-1);
    m_notifier.reset();
    for (int descriptor : m_pipe) {
        if (descriptor >= 0)
            ::close(descriptor);
    }
}

void InterruptWatch::setArmed(bool on) {
    armed.store(on);
}

bool InterruptWatch::wasInterrupted() const {
    return interruptions.load() > 0;
}

void InterruptWatch::exitNow(const char* message) {
    std::fflush(stdout);
    std::fflush(stderr);
    writeAll(STDERR_FILENO, message, std::strlen(message));
    ::_exit(kExitInterrupted);
}

void InterruptWatch::readSignal() {
    char buffer[16];
    while (::read(m_pipe[0], buffer, sizeof(buffer)) > 0) {
    }
    Q_EMIT interrupted();
}

} // namespace tarnlow::cli
