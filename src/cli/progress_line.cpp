#include "cli/progress_line.h"

#include "cli/command.h"
#include "host/size_text.h"

#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace tarnlow::cli {
namespace {

constexpr qint64 kRedrawMs = 100;

// The width of the terminal on standard error, 0 when unknown.
int terminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

void writeRaw(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

QString progressLineText(qint64 done, qint64 total, double bytesPerSecond, const QString& file) {
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    QString text = QStringLiteral("%1% %2 of %3").arg(percent, 3).arg(sizeText(done), sizeText(total));
    if (bytesPerSecond > 0)
        text += QStringLiteral(", %1/s").arg(sizeText(static_cast<qint64>(bytesPerSecond)));
    if (!file.isEmpty())
        text += QStringLiteral(": ") + terminalText(file);
    return text;
}

ProgressLine::ProgressLine()
    : ProgressLine(::isatty(STDERR_FILENO) == 1) {}

ProgressLine::ProgressLine(bool enabled)
    : m_enabled(enabled) {
    m_started.start();
}

ProgressLine::~ProgressLine() {
    clear();
}

void ProgressLine::update(qint64 done, qint64 total, const QString& file) {
    if (!m_enabled)
        return;
    if (m_shown && m_lastDrawn.isValid() && m_lastDrawn.elapsed() < kRedrawMs && done < total)
        return;
    m_lastDrawn.start();
    const double seconds = static_cast<double>(m_started.elapsed()) / 1000.0;
    const double rate = seconds > 0.2 ? static_cast<double>(done) / seconds : 0.0;
    draw(progressLineText(done, total, rate, file));
}

void ProgressLine::say(const QString& text) {
    if (m_enabled)
        draw(terminalText(text));
}

void ProgressLine::draw(QString text) {
    // A line wider than the terminal would wrap, and the carriage return would then rewrite only
    // its last part.
    if (const int columns = terminalColumns(); columns > 1 && text.size() >= columns)
        text = text.left(columns - 2) + QChar(0x2026);
    // Carriage return, the line, and "erase to the end of the line" for a shorter line.
    writeRaw("\r" + text.toUtf8() + "\x1b[K");
    m_shown = true;
}

void ProgressLine::clear() {
    if (!m_shown)
        return;
    writeRaw("\r\x1b[K");
    m_shown = false;
}

} // namespace tarnlow::cli
