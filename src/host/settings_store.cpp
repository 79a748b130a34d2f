#include "host/settings_store.h"

#include "host/settings_document.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <utility>

namespace tarnlow {
namespace {

// Holds an flock on a lock file next to the store for as long as it lives. The operating
// system drops the lock when the process dies, so a crash never blocks another process.
class FileLock {
public:
    FileLock(const QString& storePath, int operation) {
        const QByteArray path = QFile::encodeName(storePath + QStringLiteral(".lock"));
        m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            m_error = errno;
        } else if (::flock(m_fd, operation) != 0) {
            m_error = errno;
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~FileLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return m_fd >= 0; }
    int error() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

// The document and whether the file could be read; a missing file is an empty document.
Result<SettingsDocument> load(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return SettingsDocument::parse({});
    if (!file.open(QIODevice::ReadOnly))
        return Error{file.errorString()};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Error{file.errorString()};
    return SettingsDocument::parse(bytes);
}

// Creates the folder and every missing folder above it, each readable by its owner only: the
// settings file's folder must not let another user put a file of their own in its place.
Result<void> createPrivateFolders(const QString& folder) {
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    QStringList missing;
    for (QString step = path; !QFileInfo::exists(step); step = QFileInfo(step).path()) {
        missing.prepend(step);
        if (QFileInfo(step).path() == step)
            break;
    }
    for (const QString& step : std::as_const(missing)) {
        if (::mkdir(QFile::encodeName(step).constData(), 0700) != 0 && errno != EEXIST)
            return Error{
                QStringLiteral("the folder %1 cannot be created: %2").arg(step, systemErrorText(errno))};
    }
    return {};
}

// Nothing, or why the lock on the store could not be taken.
Result<void> checkLock(const QString& filePath, const FileLock& lock) {
    if (!lock.held())
        return Error{QStringLiteral("its lock file %1.lock cannot be locked: %2")
                         .arg(filePath, systemErrorText(lock.error()))};
    return {};
}

} // namespace

SettingsStore::SettingsStore(QString filePath, OutputFileFactory outputFile)
    : m_filePath(std::move(filePath))
    , m_outputFile(std::move(outputFile)) {}

QString SettingsStore::standardFilePath() {
    const QString overridePath = qEnvironmentVariable("TARNLOW_AS_REGISTRY");
    if (!overridePath.isEmpty())
        return overridePath;
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty())
        configHome = QDir::homePath() + QStringLiteral("/.config");
    return configHome + QStringLiteral("/tarnlow_as/registry.ini");
}

SettingsStore SettingsStore::standard() {
    return SettingsStore(standardFilePath());
}

std::optional<QString> SettingsStore::read(const QString& key, const QString& name) const {
    if (!QFileInfo::exists(m_filePath))
        return std::nullopt;
    FileLock lock(m_filePath, LOCK_SH);
    const Result<SettingsDocument> document = load(m_filePath);
    if (!document)
        return std::nullopt;
    return document->value(key, name);
}

Result<void> SettingsStore::write(const QString& key, const QString& name, const QString& value) {
    return writeValues(key, {{name, value}});
}

Result<void> SettingsStore::writeValues(const QString& key, const QList<QPair<QString, QString>>& values) {
    const auto failed = [this](const QString& reason) {
        return Error{QStringLiteral("the settings file %1 cannot be written: %2").arg(m_filePath, reason)};
    };
    if (const Result<void> folders = createPrivateFolders(QFileInfo(m_filePath).absolutePath()); !folders)
        return failed(folders.error());
    FileLock lock(m_filePath, LOCK_EX);
    if (const Result<void> locked = checkLock(m_filePath, lock); !locked)
        return failed(locked.error());

    // The file is created owner-only before the first save; the output file keeps the mode of the file
    // it replaces, so the scrambled password is never readable by others.
    const QByteArray nativePath = QFile::encodeName(m_filePath);
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return failed(systemErrorText(errno));
    const int modeChanged = ::fchmod(fd, 0600);
    const int modeError = errno;
    ::close(fd);
    if (modeChanged != 0)
        return failed(QStringLiteral("it cannot be made readable by its owner only: %1")
                          .arg(systemErrorText(modeError)));

    Result<SettingsDocument> document = load(m_filePath);
    if (!document)
        return failed(QStringLiteral("it cannot be read: %1").arg(document.error()));
    // Nothing is written where the change could lose a line the store does not understand.
    if (const Result<void> changed = document->set(key, values); !changed)
        return Error{
            QStringLiteral("the settings file %1 was left unchanged: %2").arg(m_filePath, changed.error())};

    const std::unique_ptr<OutputFile> file = createOutputFile(m_outputFile, m_filePath);
    if (!file->open())
        return failed(file->errorString());
    const QByteArray bytes = document->bytes();
    if (file->write(bytes) != bytes.size()) {
        const QString reason = file->errorString();
        file->cancel();
        return failed(reason);
    }
    if (!file->commit())
        return failed(file->errorString());
    return {};
}

Result<void> SettingsStore::checkWritable() const {
    if (const Result<void> folders = createPrivateFolders(QFileInfo(m_filePath).absolutePath()); !folders)
        return folders;
    FileLock lock(m_filePath, LOCK_EX);
    if (const Result<void> locked = checkLock(m_filePath, lock); !locked)
        return locked;
    // The same file a write makes, opened and discarded: a read-only file or folder refuses it.
    const std::unique_ptr<OutputFile> file = createOutputFile(m_outputFile, m_filePath);
    if (!file->open())
        return Error{file->errorString()};
    file->cancel();
    return {};
}

QStringList SettingsStore::valueNames(const QString& key) const {
    if (!QFileInfo::exists(m_filePath))
        return {};
    FileLock lock(m_filePath, LOCK_SH);
    const Result<SettingsDocument> document = load(m_filePath);
    return document ? document->valueNames(key) : QStringList();
}

} // namespace tarnlow
