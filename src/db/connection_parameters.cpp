#include "db/connection_parameters.h"

#include <QStringList>

namespace tarnlow {

QString dbParmValue(const QString& dbParm, const QString& key) {
    qsizetype i = 0;
    const qsizetype n = dbParm.size();
    while (i < n) {
        const qsizetype equals = dbParm.indexOf(QLatin1Char('='), i);
        const qsizetype semicolon = dbParm.indexOf(QLatin1Char(';'), i);
        if (equals < 0)
            return {};
        if (semicolon >= 0 && semicolon < equals) {
            // An entry without '=' carries nothing; skip it.
            i = semicolon + 1;
            continue;
        }
        const QString name = dbParm.mid(i, equals - i).trimmed();
        const bool wanted = name.compare(key, Qt::CaseInsensitive) == 0;
        qsizetype j = equals + 1;
        while (j < n && dbParm.at(j).isSpace())
            ++j;
        QString value;
        if (j < n && dbParm.at(j) == QLatin1Char('\'')) {
            ++j;
            while (j < n) {
                if (dbParm.at(j) == QLatin1Char('\'')) {
                    if (j + 1 < n && dbParm.at(j + 1) == QLatin1Char('\'')) {
                        value += QLatin1Char('\'');
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += dbParm.at(j);
                ++j;
            }
            const qsizetype next = dbParm.indexOf(QLatin1Char(';'), j);
            if (wanted)
                return value.isNull() ? QStringLiteral("") : value;
            i = next < 0 ? n : next + 1;
            continue;
        }
        if (name.compare(QLatin1String("ConnectString"), Qt::CaseInsensitive) == 0) {
            value = dbParm.mid(j).trimmed();
            return wanted ? (value.isNull() ? QStringLiteral("") : value) : QString();
        }
        const qsizetype next = dbParm.indexOf(QLatin1Char(';'), j);
        value = dbParm.mid(j, next < 0 ? -1 : next - j).trimmed();
        if (wanted)
            return value.isNull() ? QStringLiteral("") : value;
        i = next < 0 ? n : next + 1;
    }
    return {};
}

int loginTimeoutSeconds(const QString& dbParm) {
    bool ok = false;
    const int seconds = dbParmValue(dbParm, QStringLiteral("Timeout")).toInt(&ok);
    return ok && seconds > 0 ? seconds : kDefaultLoginTimeoutSeconds;
}

HostAndPort splitHostAndPort(const QString& serverName) {
    HostAndPort result;
    QString text = serverName.trimmed();
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close > 0) {
            result.host = text.mid(1, close - 1);
            const QString rest = text.mid(close + 1);
            if (rest.startsWith(QLatin1Char(':')) || rest.startsWith(QLatin1Char(',')))
                result.port = rest.mid(1).toInt();
            return result;
        }
    }
    // A bare IPv6 address holds several colons and no port.
    qsizetype separator = text.lastIndexOf(QLatin1Char(','));
    if (separator < 0 && text.count(QLatin1Char(':')) == 1)
        separator = text.indexOf(QLatin1Char(':'));
    if (separator > 0) {
        bool ok = false;
        const int port = text.mid(separator + 1).trimmed().toInt(&ok);
        if (ok && port > 0 && port < 65536) {
            result.host = text.left(separator).trimmed();
            result.port = port;
            return result;
        }
    }
    result.host = text;
    return result;
}

QString odbcConnectValue(const QString& value) {
    static const QString special = QStringLiteral(";{}=[](),?*!@");
    bool needsBraces = value.trimmed() != value;
    for (const QChar c : value)
        needsBraces = needsBraces || special.contains(c);
    if (!needsBraces)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('}'), QLatin1String("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

QString sqlServerConnectString(const QString& serverName, const QString& database, const QString& login,
                               const QString& password, const QString& dbParm) {
    QString driver = dbParmValue(dbParm, QStringLiteral("Driver"));
    if (driver.isEmpty())
        driver = QStringLiteral("FreeTDS");
    const HostAndPort address = splitHostAndPort(serverName);
    QString port = dbParmValue(dbParm, QStringLiteral("Port"));
    if (port.isEmpty() && address.port > 0)
        port = QString::number(address.port);
    QStringList parts;
    parts << QStringLiteral("Driver=") + odbcConnectValue(driver)
          << QStringLiteral("Server=") + odbcConnectValue(address.host);
    if (!port.isEmpty())
        parts << QStringLiteral("Port=") + odbcConnectValue(port);
    parts << QStringLiteral("Database=") + odbcConnectValue(database)
          << QStringLiteral("UID=") + odbcConnectValue(login)
          << QStringLiteral("PWD=") + odbcConnectValue(password) << QStringLiteral("TDS_Version=7.4")
          << QStringLiteral("ClientCharset=UTF-8");
    return parts.join(QLatin1Char(';'));
}

} // namespace tarnlow
