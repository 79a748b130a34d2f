#include "host/client_identity.h"

#include <QFile>
#include <QMessageAuthenticationCode>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace tarnlow {
namespace {

const QString kProgramName = QStringLiteral("tarnlow_as");

QByteArray firstLineOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readLine(256).trimmed();
}

QString operatingSystemUser() {
#ifdef Q_OS_UNIX
    // The account the process runs as; $USER may be missing or set to anything.
    if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr && entry->pw_name != nullptr)
        return QString::fromLocal8Bit(entry->pw_name);
#endif
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? qEnvironmentVariable("USERNAME") : user;
}

} // namespace

QString machineIdentity(const QByteArray& rawMachineId, const QString& programName) {
    return QString::fromLatin1(
        QMessageAuthenticationCode::hash(rawMachineId, programName.toUtf8(), QCryptographicHash::Sha256)
            .toHex());
}

QByteArray rawMachineId() {
    const QString overridden = qEnvironmentVariable(kMachineIdFileVariable);
    QByteArray id = firstLineOf(overridden.isEmpty() ? QStringLiteral("/etc/machine-id") : overridden);
    if (id.isEmpty() && overridden.isEmpty())
        id = QSysInfo::machineUniqueId();
    if (id.isEmpty())
        id = QSysInfo::machineHostName().toUtf8();
    return id;
}

ClientIdentity currentClientIdentity() {
    ClientIdentity identity;
    identity.machine = machineIdentity(rawMachineId(), kProgramName);
    identity.host = QSysInfo::machineHostName();
    identity.user = operatingSystemUser();
    identity.version = QStringLiteral(TARNLOW_VERSION);
    return identity;
}

} // namespace tarnlow
