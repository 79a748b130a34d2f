#include "host/output_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarnlow {
namespace {

// The file the output replaces: the path itself, or the file a symbolic link there names.
QString replacedFile(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink())
        return info.symLinkTarget();
    return info.absoluteFilePath();
}

class SaveFile final : public OutputFile {
public:
    SaveFile(const QString& path, FileAccess access)
        : m_fileName(path)
        , m_access(access) {}
    ~SaveFile() override { cancel(); }

    bool open() override {
        if (m_descriptor >= 0)
            return failed(QStringLiteral("it is open already"));
        m_target = replacedFile(m_fileName);
        const QByteArray target = QFile::encodeName(m_target);
        struct stat status {};
        const bool exists = ::stat(target.constData(), &status) == 0;
        if (exists && S_ISDIR(status.st_mode))
            return failed(QStringLiteral("it is a folder"));
        // Renaming over a file its owner made read-only would succeed; the read-only mark is kept.
        if (exists && ::access(target.constData(), W_OK) != 0)
            return failedWith(errno);
        // Unreadable to others until its mode is settled; a new file as the umask allows.
        const mode_t createMode = exists || m_access == FileAccess::OwnerOnly ? 0600 : 0666;
        for (int attempt = 0; attempt < 100 && m_descriptor < 0; ++attempt) {
            m_temporary = m_target + QStringLiteral(".tmp-") +
                          QString::number(QRandomGenerator::global()->generate() & 0xFFFFFF, 16);
            m_descriptor = ::open(QFile::encodeName(m_temporary).constData(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
            if (m_descriptor < 0 && errno != EEXIST)
                break;
        }
        if (m_descriptor < 0) {
            const int error = errno;
            m_temporary.clear();
            return failedWith(error);
        }
        if (exists && m_access == FileAccess::Usual && ::fchmod(m_descriptor, status.st_mode & 07777) != 0) {
            const int error = errno;
            cancel();
            return failedWith(error);
        }
        return true;
    }

    qint64 write(const char* data, qint64 size) override {
        if (m_descriptor < 0) {
            failed(QStringLiteral("it is not open"));
            return -1;
        }
        // A write that takes part of the bytes is repeated with the rest, so that the failure that
        // stopped it (a full disk) is reported with its own reason.
        qint64 done = 0;
        while (done < size) {
            const ssize_t written = ::write(m_descriptor, data + done, static_cast<size_t>(size - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0) {
                failedWith(errno);
                return -1;
            }
            if (written == 0) {
                failedWith(ENOSPC);
                return -1;
            }
            done += written;
        }
        return size;
    }

    bool commit() override {
        if (m_descriptor < 0)
            return failed(QStringLiteral("it is not open"));
        // Each step must succeed before the rename: a file whose bytes did not all reach the disk
        // never takes the target's place.
        if (::fsync(m_descriptor) != 0) {
            const int error = errno;
            cancel();
            return failedWith(error);
        }
        const int closed = ::close(m_descriptor);
        const int closeError = errno;
        m_descriptor = -1;
        if (closed != 0) {
            cancel();
            return failedWith(closeError);
        }
        if (::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(m_target).constData()) !=
            0) {
            const int error = errno;
            cancel();
            return failedWith(error);
        }
        m_temporary.clear();
        syncFolder(QFileInfo(m_target).absolutePath());
        return true;
    }

    void cancel() override {
        if (m_descriptor >= 0) {
            ::close(m_descriptor);
            m_descriptor = -1;
        }
        if (!m_temporary.isEmpty()) {
            ::unlink(QFile::encodeName(m_temporary).constData());
            m_temporary.clear();
        }
    }

    QString errorString() const override { return m_error; }
    QString fileName() const override { return m_fileName; }
    int descriptor() const override { return m_descriptor; }

private:
    bool failed(const QString& reason) {
        m_error = reason;
        return false;
    }
    bool failedWith(int error) { return failed(systemErrorText(error)); }

    QString m_fileName;
    FileAccess m_access;
    QString m_target;
    QString m_temporary;
    int m_descriptor = -1;
    QString m_error;
};

} // namespace

void syncFolder(const QString& folder) {
    const int descriptor = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        ::fsync(descriptor);
        ::close(descriptor);
    }
}

QString systemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

std::unique_ptr<OutputFile> createSaveFile(const QString& path, FileAccess access) {
    return std::make_unique<SaveFile>(path, access);
}

std::unique_ptr<OutputFile> createOutputFile(const OutputFileFactory& factory, const QString& path) {
    if (factory)
        return factory(path);
    return createSaveFile(path);
}

Result<void> saveWholeFile(const QString& path, const QByteArray& bytes, FileAccess access,
                           const OutputFileFactory& factory) {
    const std::unique_ptr<OutputFile> file = factory ? factory(path) : createSaveFile(path, access);
    if (!file->open())
        return Error{file->errorString()};
    if (file->write(bytes) != bytes.size()) {
        const QString reason = file->errorString();
        file->cancel();
        return Error{reason};
    }
    if (!file->commit())
        return Error{file->errorString()};
    return {};
}

} // namespace tarnlow
