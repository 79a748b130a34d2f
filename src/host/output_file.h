#pragma once

#include "host/result.h"

#include <QByteArray>
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
    // Writes all of `size` bytes and returns `size`, or -1 with the reason in errorString().
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
    // The open file's descriptor, for writers that move bytes into it inside the kernel and then
    // go on with write(); -1 when the output is no plain file.
    virtual int descriptor() const { return -1; }
};

// Makes the output file for a target path.
using OutputFileFactory = std::function<std::unique_ptr<OutputFile>(const QString& path)>;

// Who may read a file that the usual output file creates.
enum class FileAccess {
    // A new file as the process's umask allows; a replaced file keeps its mode.
    Usual,
    // Its owner only, new or replaced (secret keys).
    OwnerOnly,
};

// The usual output file: a temporary file next to the target (through a symbolic link, next to
// the file the link names), written without a buffer of its own so that every failure of the
// disk comes back from write() with the system's reason, and on commit flushed to disk with
// fsync, closed and renamed over the target, each step checked before the next. A target that
// exists but may not be written is refused.
std::unique_ptr<OutputFile> createSaveFile(const QString& path, FileAccess access = FileAccess::Usual);

// The factory's file when a factory is given, the usual one otherwise.
std::unique_ptr<OutputFile> createOutputFile(const OutputFileFactory& factory, const QString& path);

// Writes `bytes` as the whole new content of `path` through an output file: the new content
// complete, or the old file unchanged and the system's reason.
Result<void> saveWholeFile(const QString& path, const QByteArray& bytes,
                           FileAccess access = FileAccess::Usual, const OutputFileFactory& factory = {});

// Makes a rename in the folder durable: the folder's entries are flushed, so a power failure
// right after it cannot bring back the old file. The new file is in place whatever happens here,
// so a failure is no failure of the write and is not reported.
void syncFolder(const QString& folder);

// The text of a system error number, as the operating system words it ("No space left on device").
QString systemErrorText(int error);

} // namespace tarnlow
