#pragma once

#include <QElapsedTimer>
#include <QString>

namespace tarnlow::cli {

// The text of one progress line: bytes done of the whole, the rate and the file in hand, e.g.
// "  41% 12.3 MB of 30.0 MB, 4.1 MB/s: game.exe".
QString progressLineText(qint64 done, qint64 total, double bytesPerSecond, const QString& file);

// A progress line on standard error that rewrites itself in place, for a terminal only: when
// standard error is not a terminal (a log file, a pipe) nothing is written, so logs hold only the
// command's own lines. Updates come at most ten times a second.
class ProgressLine {
public:
    // enabled: whether to draw at all; by default whether standard error is a terminal.
    ProgressLine();
    explicit ProgressLine(bool enabled);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool enabled() const { return m_enabled; }
    void update(qint64 done, qint64 total, const QString& file);
    // Shows a text of its own instead of the bytes, for work that waits (a busy server).
    void say(const QString& text);
    // Removes the line, so that what is printed next starts at the left edge.
    void clear();

private:
    void draw(QString text);

    bool m_enabled = false;
    bool m_shown = false;
    QElapsedTimer m_started;
    QElapsedTimer m_lastDrawn;
};

} // namespace tarnlow::cli
