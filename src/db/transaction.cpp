#include "db/transaction.h"

#include "db/connection_parameters.h"
#include "db/database_error_text.h"
#include "db/dialect.h"
#include "db/native_handles.h"
#include "db/odbc_seam.h"
#include "db/postgres_statement.h"
#include "db/sqlite_script.h"
#include "host/program_location.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <utility>

namespace tarnlow {
namespace {

QAtomicInteger<qint64> connectionCounter;

QString errorText(const QSqlError& error) {
    return databaseErrorText(error.databaseText(), error.driverText());
}

// What a connection the server has dropped reports, instead of asking the driver, which only
// complains on standard error that the database is not open.
const QString kConnectionLost =
    QStringLiteral("the connection to the database was lost; the server discards what was not committed");

int nativeCode(const QSqlError& error) {
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code : 0;
}

// SQL Server and plain ODBC connections go through Qt's ODBC driver.
bool throughOdbc(DbmsKind kind) {
    return kind == DbmsKind::SqlServer || kind == DbmsKind::Odbc;
}

// The folder relative SQLite file names are taken from.
QString programFolder() {
    return gs_path.isEmpty() ? QCoreApplication::applicationDirPath() : gs_path;
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

QString Transaction::databaseSystemName() const {
    switch (kind()) {
    case DbmsKind::SQLite:
        return QStringLiteral("SQLite");
    case DbmsKind::PostgreSQL:
        return QStringLiteral("PostgreSQL");
    case DbmsKind::SqlServer:
        return QStringLiteral("Microsoft SQL Server");
    case DbmsKind::Odbc:
        return isConnected() ? odbcDbmsNameOf(odbcHandle(database())) : QString();
    }
    return {};
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
    const Dialect& wanted = Dialect::forKind(kindWanted);
    const QString driver = wanted.qtDriver();
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        setFailure(QStringLiteral("the Qt SQL driver %1 for %2 is not installed").arg(driver, DBMS));
        return SQLCode;
    }

    const ConnectionFields fields{
        ServerName, Database, LogID, LogPass, DBParm, loginTimeoutSeconds(DBParm), programFolder()};
    const qint64 number = connectionCounter.fetchAndAddOrdered(1) + 1;
    const QString name = QStringLiteral("tarnlow_transaction_%1").arg(number);
    QString failure;
    int failureCode = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
        wanted.configureConnection(db, fields);
        if (!db.open()) {
            failure = errorText(db.lastError());
            failureCode = nativeCode(db.lastError());
        } else {
            QSqlQuery query(db);
            for (const QString& statement : wanted.sessionStatements()) {
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

class Transaction::HandedOverConnection {
public:
    HandedOverConnection(QString name, DbmsKind connectionKind, std::int64_t connectionHandle,
                         QThread* targetThread)
        : connectionName(std::move(name))
        , kind(connectionKind)
        , handle(connectionHandle)
        , thread(targetThread) {}
    ~HandedOverConnection() {
        if (connectionName.isEmpty())
            return;
        // Nobody took it over. Removing it deletes its driver, which closes the connection; this may
        // run on either thread, so the connection is not looked up by name here.
        QSqlDatabase::removeDatabase(connectionName);
    }
    HandedOverConnection(const HandedOverConnection&) = delete;
    HandedOverConnection& operator=(const HandedOverConnection&) = delete;

    QString connectionName; // empty once taken over
    DbmsKind kind;
    std::int64_t handle;
    QThread* thread;
    QString dbms, serverName, database, login, password, dbParm;
    bool autoCommit = true;
};

std::shared_ptr<Transaction::HandedOverConnection> Transaction::handOver(QThread* thread) {
    if (!isConnected() || d->inTransaction || thread == nullptr)
        return nullptr;
    {
        QSqlDatabase db = database();
        // A Qt SQL connection is usable on the thread its driver belongs to.
        if (!db.isValid() || db.driver() == nullptr || db.driver()->thread() != QThread::currentThread())
            return nullptr;
        db.driver()->moveToThread(thread);
    }
    auto connection = std::make_shared<HandedOverConnection>(d->connectionName, d->kind, d->handle, thread);
    connection->dbms = DBMS;
    connection->serverName = ServerName;
    connection->database = Database;
    connection->login = LogID;
    connection->password = LogPass;
    connection->dbParm = DBParm;
    connection->autoCommit = AutoCommit;
    d->connectionName.clear();
    d->handle = 0;
    setSuccess();
    return connection;
}

bool Transaction::takeOver(const std::shared_ptr<HandedOverConnection>& connection) {
    if (!connection || connection->connectionName.isEmpty()) {
        setFailure(QStringLiteral("the connection was taken over already"));
        return false;
    }
    if (connection->thread != QThread::currentThread()) {
        setFailure(QStringLiteral("the connection was handed over to another thread"));
        return false;
    }
    disconnect();
    d->connectionName = std::exchange(connection->connectionName, QString());
    d->kind = connection->kind;
    d->handle = connection->handle;
    d->inTransaction = false;
    DBMS = connection->dbms;
    ServerName = connection->serverName;
    Database = connection->database;
    LogID = connection->login;
    LogPass = connection->password;
    DBParm = connection->dbParm;
    AutoCommit = connection->autoCommit;
    setSuccess();
    return true;
}

int Transaction::disconnect() {
    if (!isConnected()) {
        setSuccess();
        return SQLCode;
    }
    {
        QSqlDatabase db = database();
        // Work that was never committed is undone rather than saved half-done.
        if (d->inTransaction && db.isOpen())
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

bool Transaction::readyForStatement() {
    if (!requireConnection())
        return false;
    if (AutoCommit || d->inTransaction)
        return true;
    // The transaction that should follow the last commit or rollback could not be opened then.
    if (startTransaction() == kSqlSuccess)
        return true;
    setFailure(QStringLiteral("no transaction is open and none can be opened: %1").arg(SQLErrText),
               SQLDBCode);
    return false;
}

QString Transaction::openNextTransaction() {
    if (AutoCommit || startTransaction() == kSqlSuccess)
        return {};
    return SQLErrText.isEmpty() ? QStringLiteral("no reason given") : SQLErrText;
}

bool Transaction::run(QSqlQuery& query, const QString& sql, const QVariantList& values) {
    if (statementObserver)
        statementObserver(sql);
    query.setForwardOnly(true);
    const QString sent = throughOdbc(d->kind) ? odbcStatementText(sql) : sql;
    bool ok = false;
    if (values.isEmpty()) {
        ok = query.exec(sent);
    } else {
        ok = query.prepare(sent);
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

// Qt's PostgreSQL driver prepares a statement with bound values by SQL-level PREPARE and runs it
// by EXECUTE: a named statement that lives in one server session, which a pooler in transaction
// mode does not keep for the next statement. libpq's unnamed statements carry the values with the
// statement itself.
bool Transaction::bindsNatively(const QVariantList& values) const {
    return d->kind == DbmsKind::PostgreSQL && !values.isEmpty() && postgresHandle(database()) != nullptr;
}

std::optional<QList<QVariantList>> Transaction::runBound(const QString& sql, const QVariantList& values,
                                                         bool firstRowOnly) {
    if (statementObserver)
        statementObserver(sql);
    auto outcome = postgresRunBound(postgresHandle(database()), sql, values, firstRowOnly);
    if (!outcome) {
        setFailure(outcome.error().text, outcome.error().code);
        return std::nullopt;
    }
    setSuccess(std::max<qint64>(outcome->affected, 0));
    return std::move(outcome->rows);
}

int Transaction::execute(const QString& sql, const QVariantList& values) {
    if (!readyForStatement())
        return SQLCode;
    if (bindsNatively(values)) {
        runBound(sql, values, true);
        return SQLCode;
    }
    QSqlQuery query(database());
    if (!run(query, sql, values))
        return SQLCode;
    const qint64 rows =
        throughOdbc(d->kind) ? odbcRowCount(sql, query.numRowsAffected()) : query.numRowsAffected();
    setSuccess(rows < 0 ? -1 : rows);
    return SQLCode;
}

int Transaction::executeImmediate(const QString& sql) {
    if (!readyForStatement())
        return SQLCode;
    return runText(sql);
}

int Transaction::runText(const QString& sql) {
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
    const ScriptOutcome outcome = runSqliteScript(handle, sql, d->inTransaction);
    // Inside an open transaction the script's own BEGIN, COMMIT and ROLLBACK are refused, but a
    // conflict clause (OR ROLLBACK, RAISE(ROLLBACK)) or a failure such as a full disk still lets
    // SQLite roll it back; what follows must not run as if it could still be undone.
    if (d->inTransaction && sqlite3_get_autocommit(handle) != 0) {
        d->inTransaction = false;
        QString text = outcome.ok ? QStringLiteral("the statements ended the open transaction; what they did "
                                                   "up to then is committed")
                                  : outcome.error + QStringLiteral("; the open transaction was rolled back");
        if (const QString reopen = openNextTransaction(); !reopen.isNull())
            text += QStringLiteral("; no new transaction could be opened: ") + reopen;
        setFailure(text, outcome.code);
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
    if (!readyForStatement())
        return std::nullopt;
    if (bindsNatively(values)) {
        std::optional<QList<QVariantList>> rows = runBound(sql, values, true);
        if (!rows)
            return std::nullopt;
        if (rows->isEmpty()) {
            setSuccess();
            SQLCode = kSqlNotFound;
            return std::nullopt;
        }
        setSuccess(1);
        return rows->takeFirst();
    }
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

std::optional<QSqlQuery> Transaction::executeForRows(const QString& sql) {
    if (!requireConnection())
        return std::nullopt;
    QSqlQuery query(database());
    if (!run(query, sql, {}))
        return std::nullopt;
    setSuccess(std::max<qint64>(query.numRowsAffected(), 0));
    return query;
}

std::optional<QList<QVariantList>> Transaction::selectAll(const QString& sql, const QVariantList& values) {
    if (!readyForStatement())
        return std::nullopt;
    if (bindsNatively(values)) {
        std::optional<QList<QVariantList>> rows = runBound(sql, values, false);
        if (!rows)
            return std::nullopt;
        setSuccess(rows->size());
        if (rows->isEmpty())
            SQLCode = kSqlNotFound;
        return rows;
    }
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
    if (!db.isOpen()) {
        setFailure(kConnectionLost, 0);
        return SQLCode;
    }
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
        if (runText(QStringLiteral("BEGIN IMMEDIATE")) != kSqlSuccess)
            return SQLCode;
        d->inTransaction = true;
        setSuccess();
        return SQLCode;
    }
    if (startTransaction() != kSqlSuccess)
        return SQLCode;
    if (runText(lock) != kSqlSuccess) {
        QString text = SQLErrText;
        const int code = SQLDBCode;
        if (database().isOpen())
            database().rollback();
        d->inTransaction = false;
        if (const QString reopen = openNextTransaction(); !reopen.isNull())
            text += QStringLiteral("; no new transaction could be opened: ") + reopen;
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
    if (!db.isOpen()) {
        d->inTransaction = false;
        setFailure(kConnectionLost +
                       (AutoCommit ? QString() : QStringLiteral("; no new transaction could be opened")),
                   0);
        return SQLCode;
    }
    const bool ok = keep ? db.commit() : db.rollback();
    const QSqlError error = db.lastError();
    d->inTransaction = false;
    if (!ok) {
        QString text = errorText(error);
        const int code = nativeCode(error);
        // A transaction that cannot commit is over all the same; leave no half-open state behind.
        if (keep && db.isOpen())
            db.rollback();
        if (const QString reopen = openNextTransaction(); !reopen.isNull())
            text += QStringLiteral("; no new transaction could be opened either: ") + reopen;
        setFailure(text, code);
        return SQLCode;
    }
    if (const QString reopen = openNextTransaction(); !reopen.isNull()) {
        // The work is committed or undone as asked, but what follows would run outside the
        // transaction the caller relies on.
        setFailure(QStringLiteral("the transaction was %1, but no new transaction could be opened: %2")
                       .arg(keep ? QStringLiteral("committed") : QStringLiteral("rolled back"), reopen),
                   SQLDBCode);
        return SQLCode;
    }
    setSuccess();
    return SQLCode;
}

bool Transaction::inTransaction() const {
    return d->inTransaction;
}

} // namespace tarnlow
