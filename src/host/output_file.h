#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <functional>
#include <memory>

namespace tarnlow {

// A file being written that takes the place of its target only when commit() succeeds: until
// then the target keeps its old content, and cancel() or a failed commit leaves it untouched.
// Writers take these from an OutputFileFactory so that tests can hand them a device that fails
// the way a full disk or a failing rename does.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    virtual bool open() = 0;
    // The number of bytes written, or -1; fewer than asked is a failure as well.
    virtual qint64 write(const char* data, qint64 size) = 0;
    qint64 write(const QByteArray& bytes) { return write(bytes.constData(), bytes.size()); }
    // Flushes the data to disk and replaces the target with it.
    virtual bool commit() = 0;
    // Discards what was written; the target stays as it was.
    virtual void cancel() = 0;
    // Why the last open, write or commit failed.
    virtual QString errorString() const = 0;
    // The target's path.
    virtual QString fileName() const = 0;
    // The open file underneath, for writers that move bytes inside the kernel; none when the
    // output is no plain file.
    virtual QFileDevice* fileDevice() { return nullptr; }
};

// Makes the output file for a target path.
using OutputFileFactory = std::function<std::unique_ptr<OutputFile>(const QString& path)>;

// The usual output file: a temporary file next to the target, renamed over it on commit
// (QSaveFile), which keeps the mode of a file it replaces.
std::unique_ptr<OutputFile> createSaveFile(const QString& path);

// The factory's file when a factory is given, the usual one otherwise.
std::unique_ptr<OutputFile> createOutputFile(const OutputFileFactory& factory, const QString& path);

} // namespace tarnlow
