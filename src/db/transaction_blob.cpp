// Binary values streamed in pieces through the transaction object: on the connection's native
// handle where the driver gives one, so that neither side holds a whole value in memory or
// encodes it as text, else through Qt SQL.

#include "db/blob_backends.h"
#include "db/dialect.h"
#include "db/native_handles.h"
#include "db/sqlite_script.h"
#include "db/transaction.h"

#include <QByteArray>
#include <QSqlDriver>

#include <algorithm>
#include <limits>

namespace tarnlow {
namespace {

std::optional<QString> locationProblem(const BlobLocation& where) {
    if (!isPlainSqlName(where.table) || !isPlainSqlName(where.column))
        return QStringLiteral("the binary value's table or column is not a plain name");
    if (where.keyColumns.isEmpty() || where.keyColumns.size() != where.keyValues.size())
        return QStringLiteral("the binary value's row is not named by its key");
    if (!std::all_of(where.keyColumns.cbegin(), where.keyColumns.cend(), isPlainSqlName))
        return QStringLiteral("a key column of the binary value is not a plain name");
    return std::nullopt;
}

// "SELECT <what> FROM table WHERE k1 = ? AND k2 = ?".
QString selectFromLocation(const QString& what, const BlobLocation& where) {
    QStringList conditions;
    for (const QString& key : where.keyColumns)
        conditions.append(key + QStringLiteral(" = ?"));
    return QStringLiteral("SELECT %1 FROM %2 WHERE %3")
        .arg(what, where.table, conditions.join(QStringLiteral(" AND ")));
}

// Pulls exactly `size` bytes from the source; an error when it fails or gives more or fewer.
Result<QByteArray> pullWhole(qint64 size, const BlobPieceSource& source) {
    if (size < 0 || size > std::numeric_limits<qsizetype>::max() / 2)
        return Error{QStringLiteral("the binary value's size %1 cannot be written").arg(size)};
    // An empty value must stay empty rather than become SQL NULL, so it is a non-null array.
    QByteArray bytes =
        size == 0 ? QByteArray("", 0) : QByteArray(static_cast<qsizetype>(size), Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < size) {
        const qint64 wanted = std::min(kBlobPieceSize, size - filled);
        Result<qint64> got = source(bytes.data() + filled, wanted);
        if (!got)
            return Error{got.error()};
        if (*got <= 0 || *got > wanted)
            return Error{QStringLiteral("the binary value ended after %1 of %2 bytes").arg(filled).arg(size)};
        filled += *got;
    }
    char extra = 0;
    Result<qint64> more = source(&extra, 1);
    if (!more)
        return Error{more.error()};
    if (*more != 0)
        return Error{QStringLiteral("the binary value holds more than the %1 bytes announced").arg(size)};
    return bytes;
}

} // namespace

Result<BlobFound> Transaction::readBlob(const BlobLocation& where, const BlobPieceSink& sink) {
    if (const auto problem = locationProblem(where)) {
        setFailure(*problem);
        return Error{*problem};
    }
    if (!readyForStatement())
        return Error{SQLErrText};
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
    if (statementObserver)
        statementObserver(selectFromLocation(where.column, where));
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
    if (!isPlainSqlName(table) || !isPlainSqlName(blobColumn) || columns.size() != values.size() ||
        !std::all_of(columns.cbegin(), columns.cend(), isPlainSqlName)) {
        setFailure(QStringLiteral("the row to insert is not named by plain table and column names"));
        return SQLCode;
    }
    if (!readyForStatement())
        return SQLCode;
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
    if (statementObserver)
        statementObserver(QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (...) with %4 bytes in pieces")
                              .arg(table, columns.join(QStringLiteral(", ")), blobColumn)
                              .arg(size));
    if (!*native) {
        setFailure(native->error().text, native->error().code);
        return SQLCode;
    }
    setSuccess(**native);
    return SQLCode;
}

Result<BlobFound> Transaction::readBlobThroughQt(const BlobLocation& where, const BlobPieceSink& sink) {
    const std::optional<QVariantList> row =
        selectInto(selectFromLocation(where.column, where), where.keyValues);
    if (SQLCode == kSqlNotFound)
        return BlobFound::NoRow;
    if (!row || row->size() != 1) {
        if (SQLCode >= 0)
            setFailure(QStringLiteral("the binary value could not be read"));
        return Error{SQLErrText};
    }
    const QByteArray bytes = bytesFromColumnValue(row->first());
    if (bytes.isNull())
        return BlobFound::Null;
    for (qint64 position = 0; position < bytes.size(); position += kBlobPieceSize) {
        const qint64 length = std::min<qint64>(kBlobPieceSize, bytes.size() - position);
        if (Result<void> taken = sink(QByteArrayView(bytes.constData() + position, length)); !taken)
            return Error{taken.error()};
    }
    return BlobFound::Value;
}

Result<qint64> Transaction::blobSize(const BlobLocation& where) {
    if (const auto problem = locationProblem(where)) {
        setFailure(*problem);
        return Error{*problem};
    }
    const std::optional<QVariantList> row = selectInto(
        selectFromLocation(dialect().binaryLengthExpression(where.column), where), where.keyValues);
    if (SQLCode == kSqlNotFound)
        return qint64{0};
    if (!row || row->size() != 1)
        return Error{SQLErrText.isEmpty() ? QStringLiteral("the size of the binary value could not be read")
                                          : SQLErrText};
    return row->first().isNull() ? qint64{0} : row->first().toLongLong();
}

int Transaction::insertBlobRowThroughQt(const QString& table, const QStringList& columns,
                                        const QVariantList& values, const QString& blobColumn, qint64 size,
                                        const BlobPieceSource& source) {
    Result<QByteArray> bytes = pullWhole(size, source);
    if (!bytes) {
        setFailure(bytes.error());
        return SQLCode;
    }
    QStringList placeholders;
    for (qsizetype i = 0; i <= columns.size(); ++i)
        placeholders.append(QStringLiteral("?"));
    const QString sql = QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (%4)")
                            .arg(table, columns.join(QStringLiteral(", ")), blobColumn,
                                 placeholders.join(QStringLiteral(", ")));
    QVariantList all = values;
    all.append(QVariant(*bytes));
    return execute(sql, all);
}

} // namespace tarnlow
