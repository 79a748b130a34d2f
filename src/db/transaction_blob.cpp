// Binary values moved in pieces: on the connection's native handle where the driver gives one, so
// that neither side holds a whole value in memory or encodes it as text, else through Qt SQL.

#include "db/blob_backends.h"
#include "db/sqlite_script.h"
#include "db/transaction.h"

#include <QSqlDriver>

namespace tarnlow {
namespace {

// The native handle of the connection's driver when its type is the one named, else null.
void* nativeHandle(const QSqlDatabase& db, const char* typeName) {
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), typeName) != 0)
        return nullptr;
    return *static_cast<void* const*>(handle.constData());
}

// Qt names the type by its typedef or by the struct behind it, depending on the version.
pg_conn* postgresHandle(const QSqlDatabase& db) {
    if (void* handle = nativeHandle(db, "PGconn*"))
        return static_cast<pg_conn*>(handle);
    return static_cast<pg_conn*>(nativeHandle(db, "pg_conn*"));
}

// Qt's ODBC driver hands out its connection handle (SQLHDBC) as a plain pointer.
void* odbcHandle(const QSqlDatabase& db) {
    if (db.driverName() != QLatin1String("QODBC"))
        return nullptr;
    if (void* handle = nativeHandle(db, "SQLHANDLE"))
        return handle;
    return nativeHandle(db, "void*");
}

QString insertText(const QString& table, const QStringList& columns, const QString& blobColumn, qint64 size) {
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (...) with a binary value of %3 bytes in pieces")
        .arg(table, (QStringList(columns) << blobColumn).join(QStringLiteral(", ")))
        .arg(size);
}

} // namespace

Result<Transaction::BlobFound> Transaction::readBlob(const BlobLocation& where, const BlobPieceSink& sink) {
    if (!readyForStatement())
        return Error{SQLErrText};
    if (statementObserver)
        statementObserver(QStringLiteral("SELECT %1 FROM %2 WHERE %3 in pieces")
                              .arg(where.column, where.table, where.keyColumns.join(QStringLiteral(", "))));
    const QSqlDatabase db = database();
    std::optional<Result<BlobFound, BlobFailure>> native;
    switch (kind()) {
    case DbmsKind::SQLite:
        if (sqlite3* handle = sqliteHandle(db))
            native = sqliteReadBlob(handle, where, sink);
        break;
    case DbmsKind::PostgreSQL:
        if (pg_conn* handle = postgresHandle(db))
            native = postgresReadBlob(handle, where, sink);
        break;
    case DbmsKind::SqlServer:
    case DbmsKind::Odbc:
        if (void* handle = odbcHandle(db))
            native = odbcReadBlob(handle, where, sink);
        break;
    }
    if (!native)
        return readBlobThroughQt(where, sink);
    if (!*native) {
        setFailure(native->error().text, native->error().code);
        return Error{SQLErrText};
    }
    setSuccess(**native == BlobFound::NoRow ? 0 : 1);
    if (**native == BlobFound::NoRow)
        SQLCode = kSqlNotFound;
    return **native;
}

int Transaction::insertBlobRow(const QString& table, const QStringList& columns, const QVariantList& values,
                               const QString& blobColumn, qint64 size, const BlobPieceSource& source) {
    if (!readyForStatement())
        return SQLCode;
    if (statementObserver)
        statementObserver(insertText(table, columns, blobColumn, size));
    const QSqlDatabase db = database();
    std::optional<Result<qint64, BlobFailure>> native;
    switch (kind()) {
    case DbmsKind::SQLite:
        if (sqlite3* handle = sqliteHandle(db))
            native = sqliteInsertBlobRow(handle, table, columns, values, blobColumn, size, source);
        break;
    case DbmsKind::PostgreSQL:
        if (pg_conn* handle = postgresHandle(db)) {
            bool handled = false;
            auto outcome =
                postgresInsertBlobRow(handle, table, columns, values, blobColumn, size, source, handled);
            if (handled || !outcome)
                native = std::move(outcome);
        }
        break;
    case DbmsKind::SqlServer:
    case DbmsKind::Odbc:
        if (void* handle = odbcHandle(db))
            native = odbcInsertBlobRow(handle, kind() == DbmsKind::SqlServer, table, columns, values,
                                       blobColumn, size, source);
        break;
    }
    if (!native)
        return insertBlobRowThroughQt(table, columns, values, blobColumn, size, source);
    if (!*native) {
        setFailure(native->error().text, native->error().code);
        return SQLCode;
    }
    setSuccess(**native);
    return SQLCode;
}

} // namespace tarnlow
