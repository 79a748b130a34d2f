#include "cli/connection_options.h"

#include "db/transaction.h"
#include "host/settings_store.h"
#include "login/f_password.h"
#include "login/login_connection.h"
#include "login/login_settings.h"

#include <QCoreApplication>

#include <array>
#include <utility>

namespace tarnlow::cli {
namespace {

using Field = std::optional<QString> ConnectionOptions::*;

const std::array<std::pair<const char*, Field>, 6> kOptions{{
    {"--dbms", &ConnectionOptions::dbms},
    {"--server", &ConnectionOptions::server},
    {"--database", &ConnectionOptions::database},
    {"--login", &ConnectionOptions::login},
    {"--password", &ConnectionOptions::password},
    {"--connect-string", &ConnectionOptions::connectString},
}};

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

} // namespace

QString connectionOptionsUsage() {
    return QStringLiteral("[--dbms NAME] [--server NAME] [--database NAME] [--login NAME] [--password TEXT] "
                          "[--connect-string TEXT]");
}

Result<ConnectionOptions> takeConnectionOptions(QStringList& arguments) {
    ConnectionOptions options;
    QStringList rest;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        bool matched = false;
        for (const auto& [name, field] : kOptions) {
            const QString option = QLatin1String(name);
            QString value;
            if (argument == option) {
                if (i + 1 >= arguments.size())
                    return Error{QStringLiteral("the option %1 needs a value").arg(option)};
                value = arguments.at(++i);
            } else if (argument.startsWith(option + QLatin1Char('='))) {
                value = argument.mid(option.size() + 1);
            } else {
                continue;
            }
            if ((options.*field).has_value())
                return Error{QStringLiteral("the option %1 is given twice").arg(option)};
            options.*field = value;
            matched = true;
            break;
        }
        if (!matched)
            rest.append(argument);
    }
    if (options.dbms) {
        const Result<QString> dbms = canonicalDbms(*options.dbms);
        if (!dbms)
            return Error{QStringLiteral("--dbms: ") + dbms.error()};
        options.dbms = *dbms;
    }
    arguments = rest;
    return options;
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
    if (options.password) {
        inputs.password = *options.password;
    } else {
        const Result<QString> password = f_password(stored.password, false, kPasswordAccessKey);
        if (!password)
            return Error{QStringLiteral("the stored password in %1 cannot be read back: %2")
                             .arg(settings.filePath(), password.error())};
        inputs.password = *password;
    }
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
    sqlca.connect();
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
