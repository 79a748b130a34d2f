#include "db/transaction.h"

#include "db/connection_parameters.h"
#include "db/dialect.h"
#include "db/sqlite_script.h"
#include "host/program_location.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDir>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

#include <algorithm>

namespace tarnlow {
namespace {

QAtomicInteger<qint64> connectionCounter;

QString errorText(const QSqlError& error) {
    const QString database = error.databaseText().trimmed();
    const QString driver = error.driverText().trimmed();
    if (database.isEmpty())
        return driver.isEmpty() ? QStringLiteral("unknown database error") : driver;
    if (driver.isEmpty() || database.contains(driver))
        return database;
    return driver + QStringLiteral(": ") + database;
}

int nativeCode(const QSqlError& error) {
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code : 0;
}

QString qtDriverFor(DbmsKind kind) {
    switch (kind) {
    case DbmsKind::SQLite:
        return QStringLiteral("QSQLITE");
    case DbmsKind::PostgreSQL:
        return QStringLiteral("QPSQL");
    case DbmsKind::SqlServer:
    case DbmsKind::Odbc:
        return QStringLiteral("QODBC");
    }
    return {};
}

QString sqliteFilePath(const QString& database) {
    QString name = database.trimmed();
    if (name.isEmpty())
        name = QStringLiteral("tarnlow_as.db");
    if (name == QLatin1String(":memory:") || QDir::isAbsolutePath(name))
        return name;
    const QString folder = gs_path.isEmpty() ? QCoreApplication::applicationDirPath() : gs_path;
    return QDir(folder).filePath(name);
}

bool containsKey(const QString& connectString, const QString& key) {
    const QStringList entries = connectString.split(QLatin1Char(';'));
    for (const QString& entry : entries) {
        if (entry.section(QLatin1Char('='), 0, 0).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Qt's ODBC driver uses the text as a whole connect string only when it names a driver or a
// server, and otherwise puts "DSN=" in front; a string that starts with its own DSN entry is
// handed over without it so the data source is named once.
QString forQtOdbc(const QString& connectString) {
    if (containsKey(connectString, QStringLiteral("DRIVER")) ||
        containsKey(connectString, QStringLiteral("SERVER")) ||
        connectString.contains(QLatin1String(".dsn"), Qt::CaseInsensitive))
        return connectString;
    QString text = connectString.trimmed();
    if (text.startsWith(QLatin1String("DSN="), Qt::CaseInsensitive))
        return text.mid(4);
    return text;
}

// Session options as SQL Server's own clients set them, so statements behave the same whatever
// the driver's defaults: double quotes name identifiers and image columns are never cut short.
const QStringList& sqlServerSessionStatements() {
    static const QStringList statements{
        QStringLiteral("SET TEXTSIZE 2147483647"),
        QStringLiteral("SET QUOTED_IDENTIFIER ON"),
        QStringLiteral("SET ANSI_NULLS ON"),
        QStringLiteral("SET ANSI_PADDING ON"),
        QStringLiteral("SET ANSI_WARNINGS ON"),
        QStringLiteral("SET CONCAT_NULL_YIELDS_NULL ON"),
        QStringLiteral("SET ANSI_NULL_DFLT_ON ON"),
        QStringLiteral("SET IMPLICIT_TRANSACTIONS OFF"),
        QStringLiteral("SET CURSOR_CLOSE_ON_COMMIT OFF"),
    };
    return statements;
}

} // namespace

QByteArray bytesFromColumnValue(const QVariant& value) {
    if (value.isNull())
        return QByteArray();
    QByteArray bytes = value.toByteArray();
    // An empty value that is not SQL NULL stays distinguishable from NULL.
    if (bytes.isNull())
        bytes = QByteArray("");
    return bytes;
}

std::optional<DbmsKind> dbmsKindFromText(const QString& dbms) {
    const QString text = dbms.trimmed();
    if (text.compare(kDbmsSqlite, Qt::CaseInsensitive) == 0)
        return DbmsKind::SQLite;
    if (text.compare(kDbmsPostgreSql, Qt::CaseInsensitive) == 0)
        return DbmsKind::PostgreSQL;
    if (text.compare(kDbmsSqlServer, Qt::CaseInsensitive) == 0)
        return DbmsKind::SqlServer;
    if (text.compare(kDbmsOdbc, Qt::CaseInsensitive) == 0)
        return DbmsKind::Odbc;
    return std::nullopt;
}

struct Transaction::Private {
    QString connectionName;
    DbmsKind kind = DbmsKind::SQLite;
    std::int64_t handle = 0;
    bool inTransaction = false;
};

Transaction::Transaction()
    : d(std::make_unique<Private>()) {}

Transaction::~Transaction() {
    disconnect();
}

void Transaction::setSuccess(qint64 rows) {
    SQLCode = kSqlSuccess;
    SQLNRows = rows;
    SQLErrText.clear();
    SQLDBCode = 0;
}

void Transaction::setFailure(const QString& text, int code) {
    SQLCode = kSqlFailure;
    SQLNRows = 0;
    SQLErrText = text;
    SQLDBCode = code;
}

bool Transaction::isConnected() const {
    return d->handle != 0;
}

std::int64_t Transaction::dbhandle() const {
    return d->handle;
}

DbmsKind Transaction::kind() const {
    if (isConnected())
        return d->kind;
    return dbmsKindFromText(DBMS).value_or(DbmsKind::SQLite);
}

const Dialect& Transaction::dialect() const {
    return Dialect::forKind(kind());
}

QSqlDatabase Transaction::database() const {
    if (!isConnected())
        return {};
    return QSqlDatabase::database(d->connectionName, false);
}

int Transaction::connect() {
    if (isConnected())
        disconnect();
    const std::optional<DbmsKind> kindFound = dbmsKindFromText(DBMS);
    if (!kindFound) {
        setFailure(QStringLiteral("unknown database system \"%1\" (known: %2, %3, %4, %5)")
                       .arg(DBMS, kDbmsSqlite, kDbmsPostgreSql, kDbmsSqlServer, kDbmsOdbc));
        return SQLCode;
    }
    const DbmsKind kindWanted = *kindFound;
    const QString driver = qtDriverFor(kindWanted);
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        setFailure(QStringLiteral("the Qt SQL driver %1 for %2 is not installed").arg(driver, DBMS));
        return SQLCode;
    }

    const int timeout = loginTimeoutSeconds(DBParm);
    const qint64 number = connectionCounter.fetchAndAddOrdered(1) + 1;
    const QString name = QStringLiteral("tarnlow_transaction_%1").arg(number);
    QString failure;
    int failureCode = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
        switch (kindWanted) {
        case DbmsKind::SQLite:
            db.setDatabaseName(sqliteFilePath(Database));
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(timeout * 1000));
            break;
        case DbmsKind::PostgreSQL: {
            const HostAndPort address = splitHostAndPort(ServerName);
            bool portOk = false;
            int port = dbParmValue(DBParm, QStringLiteral("Port")).toInt(&portOk);
            if (!portOk)
                port = address.port;
            db.setHostName(address.host);
            if (port > 0)
                db.setPort(port);
            db.setDatabaseName(Database);
            db.setUserName(LogID);
            db.setPassword(LogPass);
            db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(timeout));
            break;
        }
        case DbmsKind::SqlServer:
            db.setDatabaseName(sqlServerConnectString(ServerName, Database, LogID, LogPass, DBParm));
            db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(timeout));
            break;
        case DbmsKind::Odbc: {
            QString connectString = dbParmValue(DBParm, QStringLiteral("ConnectString"));
            if (connectString.isEmpty())
                connectString = QStringLiteral("DSN=") + odbcConnectValue(Database);
            if (!LogID.isEmpty() && !containsKey(connectString, QStringLiteral("UID")))
                connectString += QStringLiteral(";UID=") + odbcConnectValue(LogID);
            if (!LogPass.isEmpty() && !containsKey(connectString, QStringLiteral("PWD")))
                connectString += QStringLiteral(";PWD=") + odbcConnectValue(LogPass);
            db.setDatabaseName(forQtOdbc(connectString));
            db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(timeout));
            break;
        }
        }
        if (!db.open()) {
            failure = errorText(db.lastError());
            failureCode = nativeCode(db.lastError());
        } else if (kindWanted == DbmsKind::SqlServer) {
            QSqlQuery query(db);
            for (const QString& statement : sqlServerSessionStatements()) {
                if (!query.exec(statement)) {
                    failure = errorText(query.lastError());
                    failureCode = nativeCode(query.lastError());
                    break;
                }
            }
            if (!failure.isNull())
                db.close();
        }
    }
    if (!failure.isNull()) {
        QSqlDatabase::removeDatabase(name);
        setFailure(failure, failureCode);
        return SQLCode;
    }
    d->connectionName = name;
    d->kind = kindWanted;
    d->handle = number;
    d->inTransaction = false;
    if (!AutoCommit && startTransaction() != kSqlSuccess) {
        const QString text = SQLErrText;
        const int code = SQLDBCode;
        disconnect();
        setFailure(text, code);
        return SQLCode;
    }
    setSuccess();
    return SQLCode;
}

int Transaction::disconnect() {
    if (!isConnected()) {
        setSuccess();
        return SQLCode;
    }
    {
        QSqlDatabase db = database();
        // Work that was never committed is undone rather than saved half-done.
        if (d->inTransaction)
            db.rollback();
        db.close();
    }
    QSqlDatabase::removeDatabase(d->connectionName);
    d->connectionName.clear();
    d->handle = 0;
    d->inTransaction = false;
    setSuccess();
    return SQLCode;
}

bool Transaction::requireConnection() {
    if (isConnected())
        return true;
    setFailure(QStringLiteral("not connected to a database"));
    return false;
}

bool Transaction::run(QSqlQuery& query, const QString& sql, const QVariantList& values) {
    if (statementObserver)
        statementObserver(sql);
    query.setForwardOnly(true);
    bool ok = false;
    if (values.isEmpty()) {
        ok = query.exec(sql);
    } else {
        ok = query.prepare(sql);
        if (ok) {
            for (const QVariant& value : values)
                query.addBindValue(value);
            ok = query.exec();
        }
    }
    if (!ok)
        setFailure(errorText(query.lastError()), nativeCode(query.lastError()));
    return ok;
}

int Transaction::execute(const QString& sql, const QVariantList& values) {
    if (!requireConnection())
        return SQLCode;
    QSqlQuery query(database());
    if (!run(query, sql, values))
        return SQLCode;
    setSuccess(std::max<qint64>(query.numRowsAffected(), 0));
    return SQLCode;
}

int Transaction::executeImmediate(const QString& sql) {
    if (!requireConnection())
        return SQLCode;
    if (d->kind == DbmsKind::SQLite) {
        if (sqlite3* handle = sqliteHandle(database()))
            return executeSqliteScript(handle, sql);
    }
    QSqlQuery query(database());
    if (!run(query, sql, {}))
        return SQLCode;
    // A text of several statements gives one result per statement, and Qt reports only the first;
    // a statement that failed later shows only when its result is reached.
    qint64 rows = std::max<qint64>(query.numRowsAffected(), 0);
    while (query.nextResult())
        rows += std::max<qint64>(query.numRowsAffected(), 0);
    if (query.lastError().isValid()) {
        setFailure(errorText(query.lastError()), nativeCode(query.lastError()));
        return SQLCode;
    }
    setSuccess(rows);
    return SQLCode;
}

int Transaction::executeSqliteScript(sqlite3* handle, const QString& sql) {
    if (statementObserver)
        statementObserver(sql);
    const ScriptOutcome outcome = runSqliteScript(handle, sql);
    // The script may have ended the open transaction itself (COMMIT, ROLLBACK), or SQLite rolled
    // it back after a failure such as a full disk; what follows must not run as if it could
    // still be undone.
    if (d->inTransaction && sqlite3_get_autocommit(handle) != 0) {
        d->inTransaction = false;
        if (!AutoCommit)
            startTransaction();
        setFailure(outcome.ok ? QStringLiteral("the statements ended the open transaction; what they did "
                                               "up to then is committed")
                              : outcome.error + QStringLiteral("; the open transaction was rolled back"),
                   outcome.code);
        return SQLCode;
    }
    if (!outcome.ok) {
        setFailure(outcome.error, outcome.code);
        return SQLCode;
    }
    setSuccess(outcome.rows);
    return SQLCode;
}

std::optional<QVariantList> Transaction::selectInto(const QString& sql, const QVariantList& values) {
    if (!requireConnection())
        return std::nullopt;
    QSqlQuery query(database());
    if (!run(query, sql, values))
        return std::nullopt;
    if (!query.next()) {
        if (query.lastError().isValid()) {
            setFailure(errorText(query.lastError()), nativeCode(query.lastError()));
            return std::nullopt;
        }
        setSuccess();
        SQLCode = kSqlNotFound;
        return std::nullopt;
    }
    QVariantList row;
    const int columns = query.record().count();
    row.reserve(columns);
    for (int i = 0; i < columns; ++i)
        row.append(query.value(i));
    setSuccess(1);
    return row;
}

std::optional<QList<QVariantList>> Transaction::selectAll(const QString& sql, const QVariantList& values) {
    if (!requireConnection())
        return std::nullopt;
    QSqlQuery query(database());
    if (!run(query, sql, values))
        return std::nullopt;
    QList<QVariantList> rows;
    const int columns = query.record().count();
    while (query.next()) {
        QVariantList row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i)
            row.append(query.value(i));
        rows.append(std::move(row));
    }
    if (query.lastError().isValid()) {
        setFailure(errorText(query.lastError()), nativeCode(query.lastError()));
        return std::nullopt;
    }
    setSuccess(rows.size());
    if (rows.isEmpty())
        SQLCode = kSqlNotFound;
    return rows;
}

std::optional<QByteArray> Transaction::selectBlob(const QString& sql, const QVariantList& values) {
    const std::optional<QVariantList> row = selectInto(sql, values);
    if (!row)
        return std::nullopt;
    if (row->size() != 1) {
        setFailure(QStringLiteral("a binary column is read by a query of exactly one column; this one has %1")
                       .arg(row->size()));
        return std::nullopt;
    }
    return bytesFromColumnValue(row->first());
}

int Transaction::updateBlob(const QString& sql, const QByteArray& bytes, const QVariantList& values) {
    QVariantList all;
    all.reserve(values.size() + 1);
    all.append(bytes.isNull() ? QVariant(QMetaType::fromType<QByteArray>()) : QVariant(bytes));
    all.append(values);
    return execute(sql, all);
}

int Transaction::startTransaction() {
    QSqlDatabase db = database();
    if (!db.transaction()) {
        const QSqlError error = db.lastError();
        setFailure(error.isValid() ? errorText(error)
                                   : QStringLiteral("the database does not support transactions"),
                   nativeCode(error));
        return SQLCode;
    }
    d->inTransaction = true;
    setSuccess();
    return SQLCode;
}

int Transaction::begin() {
    if (!requireConnection())
        return SQLCode;
    if (d->inTransaction) {
        setFailure(QStringLiteral("a transaction is already open"));
        return SQLCode;
    }
    return startTransaction();
}

int Transaction::beginLocked(const QString& lockName) {
    if (!requireConnection())
        return SQLCode;
    if (d->inTransaction) {
        setFailure(QStringLiteral("a transaction is already open"));
        return SQLCode;
    }
    const QString lock = dialect().applicationLockStatement(lockName);
    if (lock.isEmpty()) {
        // The write lock of the whole database, taken now rather than at the first write.
        if (executeImmediate(QStringLiteral("BEGIN IMMEDIATE")) != kSqlSuccess)
            return SQLCode;
        d->inTransaction = true;
        setSuccess();
        return SQLCode;
    }
    if (startTransaction() != kSqlSuccess)
        return SQLCode;
    if (executeImmediate(lock) != kSqlSuccess) {
        const QString text = SQLErrText;
        const int code = SQLDBCode;
        database().rollback();
        d->inTransaction = false;
        if (!AutoCommit)
            startTransaction();
        setFailure(text, code);
        return SQLCode;
    }
    setSuccess();
    return SQLCode;
}

int Transaction::commit() {
    return endTransaction(true);
}

int Transaction::rollback() {
    return endTransaction(false);
}

int Transaction::endTransaction(bool keep) {
    if (!requireConnection())
        return SQLCode;
    if (!d->inTransaction) {
        setSuccess();
        return SQLCode;
    }
    QSqlDatabase db = database();
    const bool ok = keep ? db.commit() : db.rollback();
    const QSqlError error = db.lastError();
    d->inTransaction = false;
    if (!ok) {
        setFailure(errorText(error), nativeCode(error));
        if (keep) {
            // A transaction that cannot commit is over all the same; leave no half-open state behind.
            db.rollback();
            if (!AutoCommit) {
                const QString text = SQLErrText;
                const int code = SQLDBCode;
                startTransaction();
                setFailure(text, code);
            }
        }
        return SQLCode;
    }
    if (!AutoCommit)
        return startTransaction();
    setSuccess();
    return SQLCode;
}

bool Transaction::inTransaction() const {
    return d->inTransaction;
}

} // namespace tarnlow
