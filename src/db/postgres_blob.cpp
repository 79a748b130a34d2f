#include "db/blob_backends.h"
#include "db/database_error_text.h"

#include <libpq-fe.h>

#include <QByteArray>
#include <QHash>
#include <QtEndian>

#include <limits>
#include <memory>

namespace tarnlow {
namespace {

struct ResultClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using PgResult = std::unique_ptr<PGresult, ResultClearer>;

BlobFailure connectionFailure(PGconn* handle, const QString& doing) {
    return BlobFailure{doing + QStringLiteral(": ") +
                       databaseErrorText(QString::fromUtf8(PQerrorMessage(handle)))};
}

BlobFailure resultFailure(PGconn* handle, const PGresult* result, const QString& doing) {
    const char* text = result ? PQresultErrorMessage(result) : nullptr;
    if (!text || !*text)
        return connectionFailure(handle, doing);
    return BlobFailure{doing + QStringLiteral(": ") + databaseErrorText(QString::fromUtf8(text))};
}

// Key values reach the server as text parameters, which it converts to the column's type.
struct TextParameters {
    QList<QByteArray> texts;
    std::vector<const char*> pointers;

    explicit TextParameters(const QVariantList& values) {
        texts.reserve(values.size());
        for (const QVariant& value : values) {
            if (value.isNull())
                texts.append(QByteArray());
            else if (value.metaType().id() == QMetaType::Bool)
                texts.append(value.toBool() ? "true" : "false");
            else
                texts.append(value.toString().toUtf8());
        }
        for (const QByteArray& text : texts)
            pointers.push_back(text.isNull() ? nullptr : text.constData());
    }
    void append(const QByteArray& text) {
        texts.append(text);
        pointers.clear();
        for (const QByteArray& each : texts)
            pointers.push_back(each.isNull() ? nullptr : each.constData());
    }
    int count() const { return static_cast<int>(pointers.size()); }
};

PgResult execute(PGconn* handle, const QString& sql, const TextParameters& parameters, int resultFormat) {
    const QByteArray text = sql.toUtf8();
    return PgResult(PQexecParams(handle, text.constData(), parameters.count(), nullptr,
                                 parameters.pointers.data(), nullptr, nullptr, resultFormat));
}

QString keyCondition(const QStringList& keyColumns) {
    QStringList parts;
    for (qsizetype i = 0; i < keyColumns.size(); ++i)
        parts.append(QStringLiteral("%1 = $%2").arg(keyColumns.at(i)).arg(i + 1));
    return parts.join(QStringLiteral(" AND "));
}

// A read outside any transaction gets one of its own, so that every slice comes from the same
// snapshot of the row.
class ReadSnapshot {
public:
    explicit ReadSnapshot(PGconn* handle)
        : m_handle(handle) {}
    ~ReadSnapshot() {
        if (m_own)
            PgResult(PQexec(m_handle, m_failed ? "ROLLBACK" : "COMMIT"));
    }
    std::optional<BlobFailure> open() {
        const PGTransactionStatusType status = PQtransactionStatus(m_handle);
        if (status == PQTRANS_INERROR)
            return BlobFailure{
                QStringLiteral("the open transaction has failed and must be rolled back first")};
        if (status != PQTRANS_IDLE)
            return std::nullopt;
        const PgResult begun(PQexec(m_handle, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
        if (PQresultStatus(begun.get()) != PGRES_COMMAND_OK)
            return resultFailure(m_handle, begun.get(), QStringLiteral("the read cannot begin"));
        m_own = true;
        return std::nullopt;
    }
    void failed() { m_failed = true; }

private:
    PGconn* m_handle;
    bool m_own = false;
    bool m_failed = false;
};

// --- the binary COPY of one row ----------------------------------------------------------------

void appendBigEndian16(QByteArray& out, qint16 value) {
    char bytes[2];
    qToBigEndian(value, bytes);
    out.append(bytes, 2);
}
void appendBigEndian32(QByteArray& out, qint32 value) {
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}
void appendBigEndian64(QByteArray& out, qint64 value) {
    char bytes[8];
    qToBigEndian(value, bytes);
    out.append(bytes, 8);
}

// The binary form of one value in a column of the given type, or nothing for a type this does not
// encode (the caller then takes the generic path) or a value the type cannot hold.
enum class Encoded { Done, UnknownType, OutOfRange };

Encoded appendField(QByteArray& out, const QByteArray& type, const QVariant& value) {
    if (value.isNull()) {
        appendBigEndian32(out, -1);
        return Encoded::Done;
    }
    bool ok = true;
    if (type == "int2" || type == "int4" || type == "int8") {
        const qlonglong number = value.toLongLong(&ok);
        if (!ok)
            return Encoded::OutOfRange;
        if (type == "int2") {
            if (number < std::numeric_limits<qint16>::min() || number > std::numeric_limits<qint16>::max())
                return Encoded::OutOfRange;
            appendBigEndian32(out, 2);
            appendBigEndian16(out, static_cast<qint16>(number));
        } else if (type == "int4") {
            if (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max())
                return Encoded::OutOfRange;
            appendBigEndian32(out, 4);
            appendBigEndian32(out, static_cast<qint32>(number));
        } else {
            appendBigEndian32(out, 8);
            appendBigEndian64(out, number);
        }
        return Encoded::Done;
    }
    if (type == "bpchar" || type == "varchar" || type == "text") {
        // The server pads and checks the length of a char(n) value as it would for a text literal.
        const QByteArray text = value.toString().toUtf8();
        appendBigEndian32(out, static_cast<qint32>(text.size()));
        out.append(text);
        return Encoded::Done;
    }
    if (type == "bytea") {
        const QByteArray bytes = value.toByteArray();
        appendBigEndian32(out, static_cast<qint32>(bytes.size()));
        out.append(bytes);
        return Encoded::Done;
    }
    return Encoded::UnknownType;
}

// Type names of the table's columns, keyed by lower-case column name; empty when the table is
// not found.
Result<QHash<QString, QByteArray>, BlobFailure> columnTypes(PGconn* handle, const QString& table) {
    TextParameters parameters(QVariantList{table});
    const PgResult result = execute(
        handle,
        QStringLiteral("SELECT a.attname, t.typname FROM pg_attribute a JOIN pg_type t ON t.oid = a.atttypid "
                       "WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped"),
        parameters, 0);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
        return resultFailure(handle, result.get(),
                             QStringLiteral("the columns of %1 cannot be read").arg(table));
    QHash<QString, QByteArray> types;
    for (int row = 0; row < PQntuples(result.get()); ++row)
        types.insert(QString::fromUtf8(PQgetvalue(result.get(), row, 0)).toLower(),
                     QByteArray(PQgetvalue(result.get(), row, 1)));
    return types;
}

// Ends a COPY that cannot go on, with the reason the server records for it.
BlobFailure abandonCopy(PGconn* handle, const QString& reason) {
    PQputCopyEnd(handle, reason.toUtf8().constData());
    while (PGresult* result = PQgetResult(handle))
        PQclear(result);
    return BlobFailure{reason};
}

// An int4 column of a binary result, or -1 when it holds something else.
qint64 binaryInt32(const PGresult* result, int column) {
    if (PQgetisnull(result, 0, column) || PQgetlength(result, 0, column) != 4)
        return -1;
    return qFromBigEndian<qint32>(PQgetvalue(result, 0, column));
}

// Rows of 1 MiB keep libpq's input buffer, which grows to the largest message, small while the
// server sends the rows of one statement without waiting for the client.
constexpr qint64 kCompressedSliceSize = 1024 * 1024;

using SliceHandler =
    std::function<std::optional<BlobFailure>(const PGresult* piece, qint64 offset, qint64 length)>;

// A slice of a compressed value costs decompressing it from its start, so a compressed value is
// read by one statement instead: the server takes it out of storage and decompresses it once, and
// returns it as one row per slice, which arrive one at a time (libpq's single-row mode) so that the
// client holds one slice at most. The server holds the whole value while it sends it, as it would
// for a COPY of it.
std::optional<BlobFailure> readCompressedSlices(PGconn* handle, const BlobLocation& where,
                                                const QByteArray& rowAddress, qint64 size,
                                                const SliceHandler& handOn) {
    // substring() without a length gives the whole value as one decompressed copy in the server's
    // memory (the column itself would stay a reference to the stored, compressed value); OFFSET 0
    // keeps that subquery apart from the slices taken of it. The value's length in each row shows
    // that it is still the value that was measured.
    const QString sql =
        QStringLiteral("SELECT substring(s.v FROM o FOR $1), o, octet_length(s.v) FROM "
                       "(SELECT substring(%1 FROM 1) AS v FROM %2 WHERE ctid = $2::tid OFFSET 0) s, "
                       "LATERAL generate_series(1, octet_length(s.v), $1::int) o")
            .arg(where.column, where.table);
    TextParameters parameters(QVariantList{});
    parameters.append(QByteArray::number(kCompressedSliceSize));
    parameters.append(rowAddress);
    const QByteArray text = sql.toUtf8();
    if (!PQsendQueryParams(handle, text.constData(), parameters.count(), nullptr, parameters.pointers.data(),
                           nullptr, nullptr, 1))
        return connectionFailure(handle, QStringLiteral("the value cannot be read"));
    PQsetSingleRowMode(handle);

    // Every result is taken, also after a failure, so that the connection is ready for the next
    // statement.
    std::optional<BlobFailure> failure;
    qint64 offset = 0;
    while (PGresult* raw = PQgetResult(handle)) {
        const PgResult result(raw);
        const ExecStatusType status = PQresultStatus(result.get());
        if (failure)
            continue;
        if (status == PGRES_TUPLES_OK)
            continue; // the end of the rows
        if (status != PGRES_SINGLE_TUPLE) {
            failure = resultFailure(handle, result.get(),
                                    QStringLiteral("the value cannot be read at byte %1").arg(offset));
            continue;
        }
        const qint64 length = std::min(kCompressedSliceSize, size - offset);
        if (length <= 0 || binaryInt32(result.get(), 1) != offset + 1 ||
            binaryInt32(result.get(), 2) != size) {
            failure =
                BlobFailure{QStringLiteral("the value changed while it was read (at byte %1)").arg(offset)};
            continue;
        }
        failure = handOn(result.get(), offset, length);
        offset += length;
    }
    if (!failure && offset != size)
        failure = BlobFailure{QStringLiteral("the value changed while it was read (at byte %1)").arg(offset)};
    return failure;
}

} // namespace

Result<BlobFound, BlobFailure> postgresReadBlob(pg_conn* handle, const BlobLocation& where,
                                                const BlobPieceSink& sink) {
    if (auto refused = refuseUnplainNames(where.table, QStringList(where.keyColumns) << where.column))
        return *refused;
    ReadSnapshot snapshot(handle);
    if (auto refused = snapshot.open())
        return *refused;
    const auto fail = [&](BlobFailure failure) {
        snapshot.failed();
        return failure;
    };

    // The size, without fetching the value; the row's physical address keeps every slice on it.
    // A value stored in fewer bytes than it holds is compressed.
    const PgResult found =
        execute(handle,
                QStringLiteral("SELECT ctid, octet_length(%1), pg_column_size(%1) < octet_length(%1) "
                               "FROM %2 WHERE %3")
                    .arg(where.column, where.table, keyCondition(where.keyColumns)),
                TextParameters(where.keyValues), 0);
    if (PQresultStatus(found.get()) != PGRES_TUPLES_OK)
        return fail(resultFailure(handle, found.get(), QStringLiteral("the row cannot be read")));
    if (PQntuples(found.get()) == 0)
        return BlobFound::NoRow;
    if (PQgetisnull(found.get(), 0, 1))
        return BlobFound::Null;
    const QByteArray rowAddress(PQgetvalue(found.get(), 0, 0));
    const qint64 size = QByteArray(PQgetvalue(found.get(), 0, 1)).toLongLong();
    const bool compressed = *PQgetvalue(found.get(), 0, 2) == 't';

    const auto handOn = [&](const PGresult* piece, qint64 offset,
                            qint64 length) -> std::optional<BlobFailure> {
        if (PQntuples(piece) != 1 || PQgetisnull(piece, 0, 0) || PQgetlength(piece, 0, 0) != length)
            return BlobFailure{
                QStringLiteral("the value changed while it was read (at byte %1)").arg(offset)};
        const char* bytes = PQgetvalue(piece, 0, 0);
        for (qint64 handed = 0; handed < length; handed += kBlobPieceSize) {
            const QByteArrayView part(bytes + handed, std::min(kBlobPieceSize, length - handed));
            if (const Result<void> taken = sink(part); !taken)
                return BlobFailure{taken.error()};
        }
        return std::nullopt;
    };
    if (compressed) {
        if (auto failed = readCompressedSlices(handle, where, rowAddress, size, handOn))
            return fail(*failed);
        return BlobFound::Value;
    }

    const QString slice = QStringLiteral("SELECT substring(%1 FROM $1 FOR $2) FROM %2 WHERE ctid = $3::tid")
                              .arg(where.column, where.table);
    for (qint64 offset = 0; offset < size;) {
        const qint64 length = std::min(kPostgresBlobPieceSize, size - offset);
        TextParameters parameters(QVariantList{});
        parameters.append(QByteArray::number(offset + 1));
        parameters.append(QByteArray::number(length));
        parameters.append(rowAddress);
        const PgResult piece = execute(handle, slice, parameters, 1);
        if (PQresultStatus(piece.get()) != PGRES_TUPLES_OK)
            return fail(resultFailure(handle, piece.get(),
                                      QStringLiteral("the value cannot be read at byte %1").arg(offset)));
        if (auto failed = handOn(piece.get(), offset, length))
            return fail(*failed);
        offset += length;
    }
    return BlobFound::Value;
}

Result<qint64, BlobFailure> postgresInsertBlobRow(pg_conn* handle, const QString& table,
                                                  const QStringList& columns, const QVariantList& values,
                                                  const QString& blobColumn, qint64 size,
                                                  const BlobPieceSource& source, bool& handled) {
    handled = false;
    if (auto refused = refuseUnplainNames(table, QStringList(columns) << blobColumn))
        return *refused;
    if (columns.size() != values.size())
        return BlobFailure{QStringLiteral("%1 columns but %2 values").arg(columns.size()).arg(values.size())};
    // A bytea value holds at most 1 GB less its header.
    constexpr qint64 largestValue = (qint64(1) << 30) - 1 - 4;
    if (size < 0 || size > largestValue)
        return BlobFailure{QStringLiteral("a value of %1 bytes is more than PostgreSQL takes (%2)")
                               .arg(size)
                               .arg(largestValue)};
    if (PQtransactionStatus(handle) == PQTRANS_INERROR)
        return BlobFailure{QStringLiteral("the open transaction has failed and must be rolled back first")};

    const auto types = columnTypes(handle, table);
    if (!types)
        return types.error();
    if (types->value(blobColumn.toLower()) != "bytea")
        return qint64(0);
    QByteArray row("PGCOPY\n\377\r\n\0", 11);
    appendBigEndian32(row, 0); // flags
    appendBigEndian32(row, 0); // header extension
    appendBigEndian16(row, static_cast<qint16>(columns.size() + 1));
    for (qsizetype i = 0; i < columns.size(); ++i) {
        switch (appendField(row, types->value(columns.at(i).toLower()), values.at(i))) {
        case Encoded::Done:
            break;
        case Encoded::UnknownType:
            return qint64(0);
        case Encoded::OutOfRange:
            return BlobFailure{QStringLiteral("the value \"%1\" does not fit column %2")
                                   .arg(values.at(i).toString(), columns.at(i))};
        }
    }
    appendBigEndian32(row, static_cast<qint32>(size));
    handled = true;

    // The row streams in through a binary COPY: no text encoding, and the row is written once.
    const QString copy = QStringLiteral("COPY %1 (%2) FROM STDIN (FORMAT binary)")
                             .arg(table, (QStringList(columns) << blobColumn).join(QStringLiteral(", ")));
    {
        const PgResult started(PQexec(handle, copy.toUtf8().constData()));
        if (PQresultStatus(started.get()) != PGRES_COPY_IN)
            return resultFailure(handle, started.get(), QStringLiteral("the row cannot be inserted"));
    }
    if (PQputCopyData(handle, row.constData(), static_cast<int>(row.size())) != 1)
        return abandonCopy(handle, connectionFailure(handle, QStringLiteral("the row cannot be sent")).text);
    const auto send = [&](const char* data, qint64 length, qint64 offset) -> std::optional<BlobFailure> {
        if (PQputCopyData(handle, data, static_cast<int>(length)) != 1)
            return connectionFailure(handle,
                                     QStringLiteral("the value cannot be sent at byte %1").arg(offset));
        return std::nullopt;
    };
    if (auto failed = pumpBlobPieces(source, size, send))
        return abandonCopy(handle, failed->text);
    QByteArray trailer;
    appendBigEndian16(trailer, -1);
    if (PQputCopyData(handle, trailer.constData(), static_cast<int>(trailer.size())) != 1 ||
        PQputCopyEnd(handle, nullptr) != 1)
        return abandonCopy(handle,
                           connectionFailure(handle, QStringLiteral("the row cannot be completed")).text);

    std::optional<BlobFailure> failure;
    qint64 rows = 0;
    while (PGresult* raw = PQgetResult(handle)) {
        const PgResult result(raw);
        if (PQresultStatus(result.get()) == PGRES_COMMAND_OK)
            rows = QByteArray(PQcmdTuples(result.get())).toLongLong();
        else if (!failure)
            failure = resultFailure(handle, result.get(), QStringLiteral("the row cannot be inserted"));
    }
    if (failure)
        return *failure;
    return rows;
}

} // namespace tarnlow
