#include "login/login_connection.h"

#include "db/transaction.h"
#include "host/settings_store.h"
#include "lang/language_globals.h"
#include "lang/language_switch.h"
#include "login/f_password.h"

#include <QDir>
#include <QFileInfo>

namespace tarnlow {

const QList<DbmsChoice>& dbmsChoices() {
    static const QList<DbmsChoice> choices{
        {kDbmsSqlite, QStringLiteral("SQLite (embedded)"), QStringLiteral("DBMS_SQLITE")},
        {kDbmsPostgreSql, QStringLiteral("PostgreSQL"), QStringLiteral("DBMS_POSTGRESQL")},
        {kDbmsSqlServer, QStringLiteral("Microsoft SQL Server"), QStringLiteral("DBMS_SQLSERVER")},
    };
    return choices;
}

std::optional<qsizetype> dbmsChoiceIndex(const QString& storedDbms) {
    if (storedDbms.trimmed().isEmpty())
        return 0;
    // The stored value is read the way the transaction object reads it, so "postgresql" is the
    // PostgreSQL entry rather than a silent switch to the embedded database.
    const std::optional<DbmsKind> kind = dbmsKindFromText(storedDbms);
    if (!kind)
        return std::nullopt;
    const QList<DbmsChoice>& choices = dbmsChoices();
    for (qsizetype i = 0; i < choices.size(); ++i) {
        if (dbmsKindFromText(choices.at(i).dbms) == kind)
            return i;
    }
    return std::nullopt;
}

namespace {

QString sqliteFilePath(const QString& database, const QString& programFolder) {
    const QString file = database.isEmpty() ? kEmbeddedDatabaseFile : database;
    return QDir::cleanPath(QDir(programFolder).absoluteFilePath(file));
}

} // namespace

void setConnectionFields(Transaction& sqlca, const LoginInputs& inputs, const QString& programFolder) {
    const QString dbms = inputs.dbms.isEmpty() ? kDbmsSqlite : inputs.dbms;
    sqlca.DBMS = dbms;
    sqlca.ServerName = inputs.serverAddress;
    sqlca.Database = inputs.database;
    sqlca.LogID = inputs.login;
    sqlca.LogPass = inputs.password;
    sqlca.AutoCommit = true;
    sqlca.DBParm.clear();
    if (dbms == kDbmsSqlite)
        sqlca.Database = sqliteFilePath(inputs.database, programFolder);
}

bool namesEmbeddedDatabase(const LoginInputs& inputs) {
    return (inputs.dbms.isEmpty() || inputs.dbms == kDbmsSqlite) && inputs.database.isEmpty();
}

std::optional<QString> missingSqliteFile(const LoginInputs& inputs, const QString& programFolder) {
    if (!inputs.dbms.isEmpty() && inputs.dbms != kDbmsSqlite)
        return std::nullopt;
    const QString path = sqliteFilePath(inputs.database, programFolder);
    if (QFileInfo::exists(path))
        return std::nullopt;
    return path;
}

namespace {

std::optional<LoginFailure> connectionFailure(const Transaction& connection) {
    if (connection.dbhandle() < 1 || connection.SQLCode < 0) {
        // A failure must never read as code 0, which the operator would take for success.
        const int code = connection.SQLCode < 0 ? connection.SQLCode : kSqlFailure;
        return LoginFailure{code, connection.SQLErrText};
    }
    return std::nullopt;
}

} // namespace

std::optional<LoginFailure> connectDatabase(Transaction& sqlca, const LoginInputs& inputs,
                                            const QString& programFolder) {
    if (sqlca.isConnected())
        sqlca.disconnect();
    setConnectionFields(sqlca, inputs, programFolder);
    sqlca.connect();
    return connectionFailure(sqlca);
}

DatabaseWorker::JobFunction loginAttemptJob(std::function<void(const LoginAttemptOutcome&)> done,
                                            std::function<void(const ConnectWait&)> waiting) {
    return [done = std::move(done), waiting = std::move(waiting)](DatabaseWorker::Job& job) {
        Transaction& connection = job.connection();
        ConnectRetry retry;
        retry.cancelled = [&job] { return job.cancelRequested(); };
        if (waiting)
            retry.waiting = [&job, waiting](const ConnectWait& wait) {
                job.post([waiting, wait] { waiting(wait); });
            };
        connectWhenFree(connection, retry);
        LoginAttemptOutcome outcome;
        outcome.failure = connectionFailure(connection);
        // An abandoned attempt keeps its connection to itself, which closes it.
        if (job.cancelRequested())
            return;
        if (!outcome.failure) {
            outcome.connection = connection.handOver(job.startingThread());
            if (!outcome.connection)
                outcome.failure = LoginFailure{kSqlFailure, QStringLiteral("the new connection cannot be "
                                                                           "handed over to the window")};
        }
        if (job.cancelRequested())
            return;
        job.post([done, outcome] { done(outcome); });
    };
}

std::optional<LoginFailure> takeOverLogin(Transaction& sqlca, const LoginAttemptOutcome& outcome) {
    if (outcome.failure)
        return outcome.failure;
    if (!sqlca.takeOver(outcome.connection))
        return LoginFailure{kSqlFailure, sqlca.SQLErrText};
    return std::nullopt;
}

StoredSettings storeSettingsAfterLogin(SettingsStore& store, LoginInputs inputs,
                                       const QList<LanguageEntry>& languages,
                                       const QString& chosenLanguageText) {
    StoredSettings outcome;
    if (inputs.dbms.isEmpty())
        inputs.dbms = kDbmsSqlite;

    QString scrambled;
    if (inputs.autoLogin) {
        Result<QString> result = f_password(inputs.password, true, kPasswordAccessKey);
        if (result) {
            scrambled = *result;
        } else {
            inputs.autoLogin = false;
            outcome.problems.append(
                QStringLiteral("The password cannot be kept for automatic login: %1").arg(result.error()));
        }
    }

    if (!chosenLanguageText.isEmpty()) {
        if (const std::optional<qsizetype> index = findLanguageByText(languages, chosenLanguageText))
            outcome.languageFile = languages.at(*index).fileName;
    }

    const QList<SettingWrite> writes = settingsWritesAfterLogin(inputs, outcome.languageFile, scrambled);
    if (const Result<void> stored = applySettingWrites(store, writes); !stored) {
        QStringList names;
        for (const SettingWrite& write : writes)
            names.append(write.name);
        outcome.problems.append(QStringLiteral("The values %1 could not be written: %2")
                                    .arg(names.join(QStringLiteral(", ")), stored.error()));
    }

    // The language is switched for this run even when Lang could not be stored.
    if (!outcome.languageFile.isEmpty()) {
        gs_lang = outcome.languageFile;
        reloadLanguageFont();
    }
    return outcome;
}

} // namespace tarnlow
