#include "cli/connection_options.h"

#include "cli/command.h"
#include "cli/progress_line.h"
#include "cli/terminal_password.h"

#include "db/transaction.h"
#include "host/numbered_message.h"
#include "host/settings_store.h"
#include "lang/f_msgbox.h"
#include "login/f_password.h"
#include "login/login_connection.h"
#include "login/login_settings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <chrono>

namespace tarnlow::cli {
namespace {

using Field = std::optional<QString> ConnectionOptions::*;

// The progress line's text while a busy server is waited for: attempt, next try and deadline.
constexpr int kMessageWaitingForConnection = 10670;

const QString kConnectTimeout = QStringLiteral("connect-timeout");
const char* const kConnectTimeoutDescription =
    "Wait up to SECONDS for a connection while the server is busy (default 120; 0 tries once).";

QString seconds(std::chrono::milliseconds time) {
    return QString::number(static_cast<double>(time.count()) / 1000.0, 'f', 1);
}

struct OptionField {
    const char* name;
    const char* valueName;
    const char* description;
    Field field;
};

const std::array<OptionField, 8> kOptions{{
    {"dbms", "NAME", "The database system: SQLite, PostgreSQL, ODBC or \"MSS Microsoft SQL Server 6.x\".",
     &ConnectionOptions::dbms},
    {"server", "NAME", "The server: host, host:port, host,port or a socket folder.",
     &ConnectionOptions::server},
    {"database", "NAME", "The database (SQLite: the file, relative to the program folder).",
     &ConnectionOptions::database},
    {"login", "NAME", "The login name.", &ConnectionOptions::login},
    {"password", "TEXT",
     "The password; - asks for it on the terminal without showing it. Other users can see a password "
     "given here in the process list: prefer --password-file or TARNLOW_AS_PASSWORD.",
     &ConnectionOptions::password},
    {"password-file", "FILE", "Read the password from the first line of FILE.",
     &ConnectionOptions::passwordFile},
    {"connect-string", "TEXT", "The ODBC connect string (with --dbms ODBC).",
     &ConnectionOptions::connectString},
    {"connect-timeout", "SECONDS", kConnectTimeoutDescription, &ConnectionOptions::connectTimeout},
}};

Result<int> connectTimeoutSeconds(const std::optional<QString>& text) {
    if (!text)
        return kDefaultConnectTimeoutSeconds;
    bool ok = false;
    const int value = text->trimmed().toInt(&ok);
    // A day is more than any morning crowd needs, and keeps the milliseconds within range.
    if (!ok || value < 0 || value > 86400)
        return Error{QStringLiteral("--connect-timeout: \"%1\" is not a number of seconds from 0 to 86400")
                         .arg(*text)};
    return value;
}

// The DBMS text as the transaction object spells it, or an error listing the accepted ones.
Result<QString> canonicalDbms(const QString& dbms) {
    const auto kind = dbmsKindFromText(dbms);
    if (!kind)
        return Error{QStringLiteral("unknown database system \"%1\"; expected %2, %3, %4 or \"%5\"")
                         .arg(dbms, kDbmsSqlite, kDbmsPostgreSql, kDbmsOdbc, kDbmsSqlServer)};
    switch (*kind) {
    case DbmsKind::SQLite:
        return kDbmsSqlite;
    case DbmsKind::PostgreSQL:
        return kDbmsPostgreSql;
    case DbmsKind::SqlServer:
        return kDbmsSqlServer;
    case DbmsKind::Odbc:
        return kDbmsOdbc;
    }
    return kDbmsSqlite;
}

// The password file's first line, without its line end. The file may be empty.
Result<QString> readPasswordFile(const QString& path) {
    if (QFileInfo(path).isDir())
        return Error{QStringLiteral("the password file %1 cannot be read: it is a folder").arg(path)};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Error{QStringLiteral("the password file %1 cannot be read: %2").arg(path, file.errorString())};
    QByteArray line = file.readLine(64 * 1024);
    if (file.error() != QFileDevice::NoError)
        return Error{QStringLiteral("the password file %1 cannot be read: %2").arg(path, file.errorString())};
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

} // namespace

void addConnectionOptions(QCommandLineParser& parser) {
    for (const OptionField& option : kOptions)
        parser.addOption(QCommandLineOption(QLatin1String(option.name), QLatin1String(option.description),
                                            QLatin1String(option.valueName)));
}

Result<ConnectionOptions> connectionOptions(const QCommandLineParser& parser) {
    ConnectionOptions options;
    for (const OptionField& option : kOptions) {
        const QString name = QLatin1String(option.name);
        if (parser.isSet(name))
            options.*option.field = parser.value(name);
    }
    if (options.dbms) {
        const Result<QString> dbms = canonicalDbms(*options.dbms);
        if (!dbms)
            return Error{QStringLiteral("--dbms: ") + dbms.error()};
        options.dbms = *dbms;
    }
    const Result<int> timeout = connectTimeoutSeconds(options.connectTimeout);
    if (!timeout)
        return Error{timeout.error()};
    options.connectTimeoutSeconds = *timeout;
    if (options.password && options.passwordFile)
        return Error{QStringLiteral("give the password with --password or --password-file, not both")};
    return options;
}

void addConnectTimeoutOption(QCommandLineParser& parser) {
    parser.addOption(QCommandLineOption(kConnectTimeout, QLatin1String(kConnectTimeoutDescription),
                                        QStringLiteral("SECONDS")));
}

Result<int> connectTimeoutOption(const QCommandLineParser& parser) {
    return connectTimeoutSeconds(
        parser.isSet(kConnectTimeout) ? std::optional<QString>(parser.value(kConnectTimeout)) : std::nullopt);
}

int connectWaitingOnTerminal(Transaction& sqlca, int timeoutSeconds) {
    ProgressLine line;
    bool told = false;
    ConnectRetry retry;
    retry.deadline = std::chrono::seconds(timeoutSeconds);
    retry.waiting = [&line, &told](const ConnectWait& wait) {
        const QString text = messageText(
            NumberedMessage{kMessageWaitingForConnection,
                            {QString::number(wait.attempt), seconds(wait.delay), seconds(wait.left)}});
        if (line.enabled()) {
            line.say(text);
        } else if (!told) {
            printError(QStringLiteral("tarnlow_as_cli: ") + text);
            told = true;
        }
    };
    connectWhenFree(sqlca, retry);
    line.clear();
    return sqlca.SQLCode;
}

Result<QString> connectionPassword(const ConnectionOptions& options, const SettingsStore& settings) {
    if (options.passwordFile)
        return readPasswordFile(*options.passwordFile);
    if (options.password == QStringLiteral("-"))
        return askPasswordOnTerminal(QStringLiteral("Password: "));
    if (options.password)
        return *options.password;
    if (qEnvironmentVariableIsSet(kPasswordVariable))
        return qEnvironmentVariable(kPasswordVariable);
    const StoredLogin stored = readStoredLogin(settings);
    const Result<QString> password = f_password(stored.password, false, kPasswordAccessKey);
    if (!password)
        return Error{QStringLiteral("the stored password in %1 cannot be read back: %2")
                         .arg(settings.filePath(), password.error())};
    return password;
}

Result<void> configureTransaction(Transaction& sqlca, const ConnectionOptions& options,
                                  const SettingsStore& settings, const QString& programFolder) {
    const StoredLogin stored = readStoredLogin(settings);
    LoginInputs inputs;
    inputs.dbms = options.dbms.value_or(stored.dbms);
    if (!inputs.dbms.isEmpty()) {
        const Result<QString> dbms = canonicalDbms(inputs.dbms);
        if (!dbms)
            return Error{
                QStringLiteral("the stored setting DBMS in %1: %2").arg(settings.filePath(), dbms.error())};
        inputs.dbms = *dbms;
    }
    inputs.serverAddress = options.server.value_or(stored.serverIp);
    inputs.database = options.database.value_or(stored.database);
    inputs.login = options.login.value_or(stored.login);
    inputs.serverPath = stored.serverPath;
    const Result<QString> password = connectionPassword(options, settings);
    if (!password)
        return Error{password.error()};
    inputs.password = *password;
    setConnectionFields(sqlca, inputs, programFolder);
    if (options.connectString)
        sqlca.DBParm = QStringLiteral("ConnectString=") + *options.connectString;
    return {};
}

Result<void> connectTransaction(Transaction& sqlca, const ConnectionOptions& options,
                                const SettingsStore& settings, const QString& programFolder) {
    if (sqlca.isConnected())
        sqlca.disconnect();
    if (const Result<void> configured = configureTransaction(sqlca, options, settings, programFolder);
        !configured)
        return configured;
    connectWaitingOnTerminal(sqlca, options.connectTimeoutSeconds);
    if (sqlca.SQLCode < 0 || !sqlca.isConnected()) {
        const QString where = sqlca.kind() == DbmsKind::SQLite ? sqlca.Database : sqlca.ServerName;
        return Error{
            QStringLiteral("cannot connect to %1 %2: %3")
                .arg(sqlca.DBMS, where,
                     sqlca.SQLErrText.isEmpty() ? QStringLiteral("no reason given") : sqlca.SQLErrText)};
    }
    return {};
}

QString programFolder() {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/');
}

Result<void> connectForCommand(Transaction& sqlca, const ConnectionOptions& options,
                               const SettingsStore& settings) {
    if (const Result<void> connected = connectTransaction(sqlca, options, settings, programFolder());
        !connected)
        return Error{QStringLiteral("cannot connect to the database: %1").arg(connected.error())};
    return {};
}

} // namespace tarnlow::cli
