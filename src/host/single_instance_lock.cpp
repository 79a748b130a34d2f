#include "host/single_instance_lock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarnlow {
namespace {

std::atomic<std::uint32_t> nextHandle{1};

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

SingleInstanceLock::SingleInstanceLock(QString name, QString directory)
    : m_name(std::move(name))
    , m_directory(std::move(directory)) {}

SingleInstanceLock::~SingleInstanceLock() {
    release();
}

QString SingleInstanceLock::defaultDirectory() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    return QDir::tempPath();
}

QString SingleInstanceLock::filePath() const {
    return QDir(m_directory).filePath(m_name + QStringLiteral(".lock"));
}

Result<bool> SingleInstanceLock::acquire() {
    if (isHeld())
        return true;
    const QByteArray path = QFile::encodeName(filePath());
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int code = errno;
        return Error{QStringLiteral("cannot open the lock file %1: %2").arg(filePath(), systemError(code))};
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int code = errno;
        ::close(fd);
        if (code == EWOULDBLOCK)
            return false;
        return Error{QStringLiteral("cannot lock %1: %2").arg(filePath(), systemError(code))};
    }
    m_fd = fd;
    m_handle = nextHandle.fetch_add(1);
    if (m_handle == 0)
        m_handle = nextHandle.fetch_add(1);
    return true;
}

void SingleInstanceLock::release() {
    if (m_fd < 0)
        return;
    // Closing the only descriptor of the open file drops the lock; the file itself stays, since
    // removing it could let two processes lock two different files of the same name.
    ::close(m_fd);
    m_fd = -1;
    m_handle = 0;
}

} // namespace tarnlow
