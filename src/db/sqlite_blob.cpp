#include "db/blob_backends.h"

#include <sqlite3.h>

#include <QByteArray>

#include <memory>

namespace tarnlow {
namespace {

BlobFailure sqliteFailure(sqlite3* handle, const QString& doing) {
    return BlobFailure{doing + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(handle)),
                       sqlite3_extended_errcode(handle)};
}

struct StatementCloser {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

struct BlobCloser {
    void operator()(sqlite3_blob* blob) const { sqlite3_blob_close(blob); }
};
using BlobHandle = std::unique_ptr<sqlite3_blob, BlobCloser>;

Result<Statement, BlobFailure> prepare(sqlite3* handle, const QString& sql) {
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(handle, text.constData(), static_cast<int>(text.size()), &statement, nullptr) !=
        SQLITE_OK)
        return sqliteFailure(handle, QStringLiteral("the statement cannot be prepared"));
    return Statement(statement);
}

// Binds a value the way Qt's SQLite driver would: numbers as numbers, texts as UTF-8, bytes as a blob.
bool bindValue(sqlite3_stmt* statement, int position, const QVariant& value) {
    if (value.isNull())
        return sqlite3_bind_null(statement, position) == SQLITE_OK;
    switch (value.metaType().id()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return sqlite3_bind_int64(statement, position, value.toLongLong()) == SQLITE_OK;
    case QMetaType::Double:
    case QMetaType::Float:
        return sqlite3_bind_double(statement, position, value.toDouble()) == SQLITE_OK;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return sqlite3_bind_blob64(statement, position, bytes.constData(),
                                   static_cast<sqlite3_uint64>(bytes.size()), SQLITE_TRANSIENT) == SQLITE_OK;
    }
    default: {
        const QByteArray text = value.toString().toUtf8();
        return sqlite3_bind_text64(statement, position, text.constData(),
                                   static_cast<sqlite3_uint64>(text.size()), SQLITE_TRANSIENT,
                                   SQLITE_UTF8) == SQLITE_OK;
    }
    }
}

Result<void, BlobFailure> bindAll(sqlite3* handle, sqlite3_stmt* statement, const QVariantList& values) {
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (!bindValue(statement, static_cast<int>(i) + 1, values.at(i)))
            return sqliteFailure(handle, QStringLiteral("value %1 cannot be bound").arg(i + 1));
    }
    return {};
}

QString keyCondition(const QStringList& keyColumns) {
    QStringList parts;
    for (const QString& column : keyColumns)
        parts.append(column + QStringLiteral(" = ?"));
    return parts.join(QStringLiteral(" AND "));
}

} // namespace

Result<BlobFound, BlobFailure> sqliteReadBlob(sqlite3* handle, const BlobLocation& where,
                                              const BlobPieceSink& sink) {
    if (auto refused = refuseUnplainNames(where.table, QStringList(where.keyColumns) << where.column))
        return *refused;
    // typeof() tells NULL apart without loading the value itself.
    auto statement = prepare(handle, QStringLiteral("SELECT rowid, typeof(%1) FROM %2 WHERE %3")
                                         .arg(where.column, where.table, keyCondition(where.keyColumns)));
    if (!statement)
        return statement.error();
    if (auto bound = bindAll(handle, statement->get(), where.keyValues); !bound)
        return bound.error();
    const int step = sqlite3_step(statement->get());
    if (step == SQLITE_DONE)
        return BlobFound::NoRow;
    if (step != SQLITE_ROW)
        return sqliteFailure(handle, QStringLiteral("the row cannot be read"));
    const sqlite3_int64 rowid = sqlite3_column_int64(statement->get(), 0);
    const QByteArray type = reinterpret_cast<const char*>(sqlite3_column_text(statement->get(), 1));
    statement->reset();
    if (type == "null")
        return BlobFound::Null;

    sqlite3_blob* opened = nullptr;
    const QByteArray table = where.table.toUtf8();
    const QByteArray column = where.column.toUtf8();
    if (sqlite3_blob_open(handle, "main", table.constData(), column.constData(), rowid, 0, &opened) !=
        SQLITE_OK) {
        sqlite3_blob_close(opened);
        return sqliteFailure(handle, QStringLiteral("the value cannot be opened for reading"));
    }
    const BlobHandle blob(opened);
    const int size = sqlite3_blob_bytes(blob.get());
    QByteArray piece(static_cast<qsizetype>(std::min<qint64>(kBlobPieceSize, size)), Qt::Uninitialized);
    for (int offset = 0; offset < size;) {
        const int length = static_cast<int>(std::min<qint64>(piece.size(), size - offset));
        if (sqlite3_blob_read(blob.get(), piece.data(), length, offset) != SQLITE_OK)
            return sqliteFailure(handle, QStringLiteral("the value cannot be read at byte %1").arg(offset));
        if (const Result<void> taken = sink(QByteArrayView(piece.constData(), length)); !taken)
            return BlobFailure{taken.error()};
        offset += length;
    }
    return BlobFound::Value;
}

namespace {

Result<qint64, BlobFailure> insertAndFill(sqlite3* handle, const QString& table, const QStringList& columns,
                                          const QVariantList& values, const QString& blobColumn, qint64 size,
                                          const BlobPieceSource& source) {
    if (columns.size() != values.size())
        return BlobFailure{QStringLiteral("%1 columns but %2 values").arg(columns.size()).arg(values.size())};
    const int limit = sqlite3_limit(handle, SQLITE_LIMIT_LENGTH, -1);
    if (size < 0 || size > limit)
        return BlobFailure{
            QStringLiteral("a value of %1 bytes is more than this database takes (%2)").arg(size).arg(limit),
            SQLITE_TOOBIG};

    // The row is written once with a value of the right size, then the bytes go into it in place.
    QStringList placeholders;
    for (qsizetype i = 0; i < columns.size(); ++i)
        placeholders.append(QStringLiteral("?"));
    placeholders.append(QStringLiteral("zeroblob(?)"));
    auto statement =
        prepare(handle, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(table, (QStringList(columns) << blobColumn).join(QStringLiteral(", ")),
                                 placeholders.join(QStringLiteral(", "))));
    if (!statement)
        return statement.error();
    if (auto bound = bindAll(handle, statement->get(), QVariantList(values) << QVariant(size)); !bound)
        return bound.error();
    if (sqlite3_step(statement->get()) != SQLITE_DONE)
        return sqliteFailure(handle, QStringLiteral("the row cannot be inserted"));
    const sqlite3_int64 rowid = sqlite3_last_insert_rowid(handle);
    statement->reset();

    sqlite3_blob* opened = nullptr;
    const QByteArray tableName = table.toUtf8();
    const QByteArray columnName = blobColumn.toUtf8();
    if (sqlite3_blob_open(handle, "main", tableName.constData(), columnName.constData(), rowid, 1, &opened) !=
        SQLITE_OK) {
        sqlite3_blob_close(opened);
        return sqliteFailure(handle, QStringLiteral("the new value cannot be opened for writing"));
    }
    BlobHandle blob(opened);
    const auto write = [&](const char* data, qint64 length, qint64 offset) -> std::optional<BlobFailure> {
        if (sqlite3_blob_write(blob.get(), data, static_cast<int>(length), static_cast<int>(offset)) !=
            SQLITE_OK)
            return sqliteFailure(handle,
                                 QStringLiteral("the value cannot be written at byte %1").arg(offset));
        return std::nullopt;
    };
    if (auto failed = pumpBlobPieces(source, size, write))
        return *failed;
    if (sqlite3_blob_close(blob.release()) != SQLITE_OK)
        return sqliteFailure(handle, QStringLiteral("the value cannot be completed"));
    return qint64(1);
}

} // namespace

Result<qint64, BlobFailure> sqliteInsertBlobRow(sqlite3* handle, const QString& table,
                                                const QStringList& columns, const QVariantList& values,
                                                const QString& blobColumn, qint64 size,
                                                const BlobPieceSource& source) {
    if (auto refused = refuseUnplainNames(table, QStringList(columns) << blobColumn))
        return *refused;
    // The row exists, filled with zeros, before its bytes arrive; a savepoint takes it away again
    // when they do not all arrive, inside the caller's transaction or without one.
    if (sqlite3_exec(handle, "SAVEPOINT tarnlow_blob_row", nullptr, nullptr, nullptr) != SQLITE_OK)
        return sqliteFailure(handle, QStringLiteral("the row cannot be inserted"));
    Result<qint64, BlobFailure> outcome =
        insertAndFill(handle, table, columns, values, blobColumn, size, source);
    if (outcome) {
        if (sqlite3_exec(handle, "RELEASE tarnlow_blob_row", nullptr, nullptr, nullptr) == SQLITE_OK)
            return outcome;
        outcome = sqliteFailure(handle, QStringLiteral("the row cannot be kept"));
    }
    sqlite3_exec(handle, "ROLLBACK TO tarnlow_blob_row", nullptr, nullptr, nullptr);
    sqlite3_exec(handle, "RELEASE tarnlow_blob_row", nullptr, nullptr, nullptr);
    return outcome;
}

} // namespace tarnlow
