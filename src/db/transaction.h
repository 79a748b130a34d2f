#pragma once

#include "db/blob_stream.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QIODevice;
class QThread;
struct sqlite3;

namespace tarnlow {

class Dialect;

// The database systems the program reaches. The DBMS field of the transaction object carries one
// of these texts.
enum class DbmsKind { SQLite, PostgreSQL, SqlServer, Odbc };

inline const QString kDbmsSqlite = QStringLiteral("SQLite");
inline const QString kDbmsPostgreSql = QStringLiteral("PostgreSQL");
inline const QString kDbmsSqlServer = QStringLiteral("MSS Microsoft SQL Server 6.x");
inline const QString kDbmsOdbc = QStringLiteral("ODBC");

std::optional<DbmsKind> dbmsKindFromText(const QString& dbms);

// The bytes of a binary column value: a null array for SQL NULL, an empty but non-null array for
// an empty value, so that callers can tell the two apart.
QByteArray bytesFromColumnValue(const QVariant& value);

// Result codes the transaction object reports after every operation.
inline constexpr int kSqlSuccess = 0;
inline constexpr int kSqlNotFound = 100;
inline constexpr int kSqlFailure = -1;

// The one database connection of the program (the type of sqlca). Callers set the connection
// fields, connect, and after every operation read SQLCode (0 done, 100 no row, negative failure),
// SQLErrText (the server's text on failure) and SQLNRows (rows affected). Values reach the
// database as bound values, never pasted into the statement text. Each object owns a named
// Qt SQL connection, so several objects can be connected at once (for example in tests or in
// two threads).
class Transaction {
public:
    Transaction();
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Connection fields.
    QString DBMS = kDbmsSqlite;
    QString ServerName;
    QString Database;
    QString LogID;
    QString LogPass;
    bool AutoCommit = true;
    // Further parameters "Key=Value;Key=Value": ConnectString=... (ODBC; takes the rest of the text
    // unless quoted), Port=N, Timeout=N (login timeout in seconds), Driver=... (the ODBC driver
    // for SQL Server, FreeTDS unless named).
    QString DBParm;

    // Called with every statement text just before it is sent, when set. Lets a window show
    // what runs and lets tests see which statements a piece of work sent.
    std::function<void(const QString& sql)> statementObserver;

    // Outcome of the last operation. SQLNRows is -1 when the driver does not report the rows a
    // statement affected, as SQL Server's does under SET NOCOUNT ON.
    int SQLCode = 0;
    qint64 SQLNRows = 0;
    QString SQLErrText;
    int SQLDBCode = 0; // the driver's native error code, when it gives one

    // Connects with the fields above; a login that does not answer within the login timeout
    // (10 seconds unless DBParm says Timeout=N) fails with the driver's text. SQLite: Database is
    // the file (relative paths from the program folder gs_path; empty means tarnlow_as.db there).
    // PostgreSQL: ServerName is the host, optionally "host:port". SQL Server: ServerName is the
    // server, optionally "host,port" or "host:port". ODBC: the connect string from DBParm, or
    // Database as the name of a data source.
    int connect();
    int disconnect();
    bool isConnected() const;
    // A non-zero number identifying the open connection, 0 when not connected.
    std::int64_t dbhandle() const;

    // An open connection taken out of one transaction object so that another one, possibly on
    // another thread, can take it over; closed when it is dropped without being taken over.
    class HandedOverConnection;
    // Takes the open connection (outside any transaction) out of this object, which is then not
    // connected, and makes it usable on `thread`. Called on the thread that connected it. No value
    // when there is no connection or a transaction is open.
    std::shared_ptr<HandedOverConnection> handOver(QThread* thread);
    // Takes over a connection handed over to the calling thread, with the connection fields it was
    // opened with; a connection this object had before is closed first. False (and SQLCode
    // negative) when the connection was taken already or belongs to another thread.
    bool takeOver(const std::shared_ptr<HandedOverConnection>& connection);

    DbmsKind kind() const;
    const Dialect& dialect() const;
    // The database system behind the connection: "SQLite", "PostgreSQL", "Microsoft SQL Server",
    // or for ODBC what the driver names (empty when not connected).
    QString databaseSystemName() const;

    // Runs a statement with bound values ('?' placeholders). SQLNRows holds the rows affected, or -1.
    int execute(const QString& sql, const QVariantList& values = {});
    // Runs a statement text as it stands, without bound values. The text may hold several
    // statements separated by semicolons; they run in order inside any open transaction, and the
    // first that fails ends the run with the server's text (on SQLite also naming that statement).
    int executeImmediate(const QString& sql);
    // Fetches the first row of a query into a list of column values; SQLCode 100 and no value when
    // the query finds no row.
    std::optional<QVariantList> selectInto(const QString& sql, const QVariantList& values = {});
    // All rows of a query, each a list of column values.
    std::optional<QList<QVariantList>> selectAll(const QString& sql, const QVariantList& values = {});
    // Runs one statement as the operator typed it and hands back the executed query, from which
    // the caller reads as many rows as it wants; no value (with SQLCode and SQLErrText) when it
    // fails. SQLNRows holds the rows a statement without a result changed.
    std::optional<QSqlQuery> executeForRows(const QString& sql);

    // Reads one binary (image) column: a query of one column and one row. An SQL NULL gives
    // SQLCode 0 and a null QByteArray; no row gives SQLCode 100.
    std::optional<QByteArray> selectBlob(const QString& sql, const QVariantList& values = {});
    // Writes one binary column: the statement's first placeholder receives the bytes, the others
    // the values that follow.
    int updateBlob(const QString& sql, const QByteArray& bytes, const QVariantList& values = {});

    // Streams one binary value to `sink` in pieces of at most kBlobPieceSize bytes, so that a
    // value of any size passes through without being held whole. Value: every piece was handed
    // out (none for an empty value); Null and NoRow: the sink was not called. An error with
    // SQLCode negative when the database fails, or the sink's own error when the sink stops it.
    Result<BlobFound> readBlob(const BlobLocation& where, const BlobPieceSink& sink);
    // The size in bytes of one binary value; 0 for NULL or when there is no such row.
    Result<qint64> blobSize(const BlobLocation& where);
    // Inserts one row: `columns` receive `values`, and `blobColumn` receives exactly `size` bytes
    // pulled from `source` in pieces. The row is written once, with its value. A source that
    // fails, or ends before or after `size` bytes, fails the statement; nothing is inserted.
    int insertBlobRow(const QString& table, const QStringList& columns, const QVariantList& values,
                      const QString& blobColumn, qint64 size, const BlobPieceSource& source);

    // A function that stops the statement running on this connection (which then fails) and may
    // be called from any thread, or an empty function where the database system offers no way
    // (ODBC). It must not be called after the connection was closed; DatabaseWorker sees to that
    // for its jobs. On PostgreSQL the request goes to the server in the background.
    std::function<void()> statementInterrupter() const;

    // Transactions. With AutoCommit on, begin() opens an explicit transaction that commit() or
    // rollback() ends; with AutoCommit off a transaction is always open after connect, and
    // commit() and rollback() open the next one. When that cannot be opened (the connection is
    // lost, for example) the commit or rollback fails with a text saying what became of the work
    // and that no transaction is open; inTransaction() is then false, and the next statement
    // tries to open one first and fails rather than run outside a transaction.
    int begin();
    // Opens a transaction that holds the named application lock until commit() or rollback(), so
    // that two writers of the same name (on this or another computer) run one after the other.
    // SQLite takes the database's write lock at once instead. Fails when a transaction is open.
    int beginLocked(const QString& lockName);
    int commit();
    int rollback();
    bool inTransaction() const;

private:
    // The open Qt SQL connection, invalid when not connected.
    QSqlDatabase database() const;
    void setSuccess(qint64 rows = 0);
    void setFailure(const QString& text, int nativeCode = 0);
    bool requireConnection();
    // A connection and, with AutoCommit off, the open transaction that a statement runs in.
    bool readyForStatement();
    // With AutoCommit off, opens the transaction that follows the one just ended. Returns why it
    // could not be opened, or a null string.
    QString openNextTransaction();
    int runText(const QString& sql);
    bool run(class QSqlQuery& query, const QString& sql, const QVariantList& values);
    // True when a statement with these values goes to PostgreSQL through libpq rather than Qt.
    bool bindsNatively(const QVariantList& values) const;
    // Runs a statement with bound values through libpq; no value (with SQLCode negative) when it
    // failed. The rows when the statement returns any.
    std::optional<QList<QVariantList>> runBound(const QString& sql, const QVariantList& values,
                                                bool firstRowOnly);
    int startTransaction();
    // Ends the open transaction: commits it (keep) or rolls it back.
    int endTransaction(bool keep);
    int executeSqliteScript(sqlite3* handle, const QString& sql);
    // The generic paths through Qt SQL, for drivers that give no native handle.
    Result<BlobFound> readBlobThroughQt(const BlobLocation& where, const BlobPieceSink& sink);
    int insertBlobRowThroughQt(const QString& table, const QStringList& columns, const QVariantList& values,
                               const QString& blobColumn, qint64 size, const BlobPieceSource& source);
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace tarnlow
