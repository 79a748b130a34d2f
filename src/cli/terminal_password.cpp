#include "cli/terminal_password.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace tarnlow::cli {
namespace {

// The terminal's settings while echo is off, so that an interrupt can put them back.
int echoTerminal = -1;
termios echoSettings{};

void restoreEchoAndStop(int signalNumber) {
    if (echoTerminal >= 0)
        tcsetattr(echoTerminal, TCSAFLUSH, &echoSettings);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        done += written;
    }
}

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

Result<QString> askPasswordOnTerminal(const QString& prompt, const QString& source,
                                      const QString& alternative) {
    const int terminal = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0)
        return Error{QStringLiteral("%1: there is no terminal to ask for it on (%2); %3")
                         .arg(source, systemText(errno), alternative)};
    termios settings{};
    if (tcgetattr(terminal, &settings) != 0) {
        const int error = errno;
        ::close(terminal);
        return Error{QStringLiteral("%1: the terminal cannot be set to hide what is typed (%2)")
                         .arg(source, systemText(error))};
    }
    termios hidden = settings;
    hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    hidden.c_lflag |= ICANON;

    echoSettings = settings;
    echoTerminal = terminal;
    const auto previousInterrupt = std::signal(SIGINT, restoreEchoAndStop);
    const auto previousTerminate = std::signal(SIGTERM, restoreEchoAndStop);
    // Echo goes off before the prompt shows, so nothing typed after the prompt is ever shown;
    // what was typed before it is discarded.
    const bool hiding = tcsetattr(terminal, TCSAFLUSH, &hidden) == 0;
    if (hiding)
        writeAll(terminal, prompt.toUtf8());
    QByteArray line;
    bool ended = false;
    int readError = 0;
    while (hiding) {
        char byte = 0;
        const ssize_t got = ::read(terminal, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            readError = errno;
        if (got <= 0)
            break;
        if (byte == '\n') {
            ended = true;
            break;
        }
        line.append(byte);
    }
    const int hideError = hiding ? 0 : errno;
    tcsetattr(terminal, TCSAFLUSH, &settings);
    std::signal(SIGINT, previousInterrupt);
    std::signal(SIGTERM, previousTerminate);
    echoTerminal = -1;
    // The line end that was not echoed.
    writeAll(terminal, QByteArrayLiteral("\n"));
    ::close(terminal);

    if (!hiding)
        return Error{QStringLiteral("%1: the terminal cannot be set to hide what is typed (%2)")
                         .arg(source, systemText(hideError))};
    if (readError != 0)
        return Error{QStringLiteral("%1: it cannot be read from the terminal (%2)")
                         .arg(source, systemText(readError))};
    if (!ended)
        return Error{source + QStringLiteral(": the input ended before the line did")};
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

} // namespace tarnlow::cli
