#include "db/postgres_statement.h"

#include "db/database_error_text.h"

#include <libpq-fe.h>

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <memory>
#include <vector>

namespace tarnlow {
namespace {

struct ResultClearer {
    void operator()(PGresult* result) const { PQclear(result); }
};
using PgResult = std::unique_ptr<PGresult, ResultClearer>;

// Type OIDs of the server's built-in types (pg_type.dat).
constexpr Oid kBool = 16;
constexpr Oid kBytea = 17;
constexpr Oid kInt8 = 20;
constexpr Oid kInt2 = 21;
constexpr Oid kInt4 = 23;
constexpr Oid kOid = 26;
constexpr Oid kFloat4 = 700;
constexpr Oid kFloat8 = 701;
constexpr Oid kNumeric = 1700;
constexpr Oid kDate = 1082;
constexpr Oid kTime = 1083;
constexpr Oid kTimestamp = 1114;
constexpr Oid kTimestampTz = 1184;

// The bound values in libpq's form; the arrays point into `bytes`, which must not change after.
struct Parameters {
    std::vector<QByteArray> bytes;
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    std::vector<Oid> types;

    explicit Parameters(const QVariantList& list) {
        bytes.reserve(static_cast<size_t>(list.size()));
        for (const QVariant& value : list) {
            Oid type = 0; // the server infers it from where the value stands
            int format = 0;
            QByteArray data;
            if (value.isNull()) {
                data = QByteArray();
            } else {
                switch (value.metaType().id()) {
                case QMetaType::QByteArray:
                    data = value.toByteArray();
                    if (data.isNull())
                        data = QByteArray("");
                    type = kBytea;
                    format = 1;
                    break;
                case QMetaType::Bool:
                    data = value.toBool() ? "true" : "false";
                    break;
                case QMetaType::Double:
                case QMetaType::Float:
                    data = QByteArray::number(value.toDouble(), 'g', 17);
                    break;
                case QMetaType::QDate:
                    data = value.toDate().toString(Qt::ISODate).toUtf8();
                    break;
                case QMetaType::QTime:
                    data = value.toTime().toString(Qt::ISODateWithMs).toUtf8();
                    break;
                case QMetaType::QDateTime:
                    data = value.toDateTime().toString(Qt::ISODateWithMs).toUtf8();
                    break;
                default:
                    data = value.toString().toUtf8();
                    if (data.isNull())
                        data = QByteArray("");
                    break;
                }
            }
            bytes.push_back(data);
            types.push_back(type);
            formats.push_back(format);
        }
        for (const QByteArray& data : bytes) {
            values.push_back(data.isNull() ? nullptr : data.constData());
            lengths.push_back(static_cast<int>(data.size()));
        }
    }
    int count() const { return static_cast<int>(values.size()); }
};

QVariant nullOfType(Oid type) {
    switch (type) {
    case kBool:
        return QVariant(QMetaType::fromType<bool>());
    case kBytea:
        return QVariant(QMetaType::fromType<QByteArray>());
    case kInt8:
        return QVariant(QMetaType::fromType<qlonglong>());
    case kInt2:
    case kInt4:
        return QVariant(QMetaType::fromType<int>());
    case kOid:
        return QVariant(QMetaType::fromType<uint>());
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return QVariant(QMetaType::fromType<double>());
    case kDate:
        return QVariant(QMetaType::fromType<QDate>());
    case kTime:
        return QVariant(QMetaType::fromType<QTime>());
    case kTimestamp:
    case kTimestampTz:
        return QVariant(QMetaType::fromType<QDateTime>());
    default:
        return QVariant(QMetaType::fromType<QString>());
    }
}

QVariant columnValue(const PGresult* result, int row, int column) {
    const Oid type = PQftype(result, column);
    if (PQgetisnull(result, row, column))
        return nullOfType(type);
    const char* text = PQgetvalue(result, row, column);
    const int length = PQgetlength(result, row, column);
    const QByteArray raw = QByteArray::fromRawData(text, length);
    switch (type) {
    case kBool:
        return QVariant(text[0] == 't');
    case kBytea: {
        size_t size = 0;
        unsigned char* decoded = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &size);
        if (decoded == nullptr)
            return QVariant(QByteArray());
        QByteArray bytes(reinterpret_cast<const char*>(decoded), static_cast<qsizetype>(size));
        PQfreemem(decoded);
        if (bytes.isNull())
            bytes = QByteArray("");
        return QVariant(bytes);
    }
    case kInt8:
        return QVariant(raw.toLongLong());
    case kInt2:
    case kInt4:
        return QVariant(raw.toInt());
    case kOid:
        return QVariant(raw.toUInt());
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return QVariant(raw.toDouble());
    case kDate:
        return QVariant(QDate::fromString(QString::fromLatin1(raw), Qt::ISODate));
    case kTime:
        return QVariant(QTime::fromString(QString::fromLatin1(raw), Qt::ISODateWithMs));
    case kTimestamp:
    case kTimestampTz:
        return QVariant(QDateTime::fromString(QString::fromLatin1(raw), Qt::ISODateWithMs));
    default:
        return QVariant(QString::fromUtf8(text, length));
    }
}

BoundStatementFailure failureOf(PGconn* handle, const PGresult* result) {
    const char* message = result ? PQresultErrorMessage(result) : nullptr;
    QString text = QString::fromUtf8(message && *message ? message : PQerrorMessage(handle));
    // The same form as Qt's driver gives: the server's text and the SQLSTATE in brackets.
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    int code = 0;
    if (state != nullptr && *state != '\0') {
        text += QStringLiteral("(%1)").arg(QLatin1String(state));
        code = QByteArray(state).toInt();
    }
    return BoundStatementFailure{databaseErrorText(text), code};
}

} // namespace

QString numberedPlaceholders(const QString& sql, int& count) {
    count = 0;
    QString out;
    out.reserve(sql.size() + 8);
    const qsizetype n = sql.size();
    qsizetype i = 0;
    // Copies up to and including the next `close`, or the rest of the text.
    const auto copyThrough = [&](const QString& close, qsizetype from) {
        const qsizetype end = sql.indexOf(close, from);
        const qsizetype stop = end < 0 ? n : end + close.size();
        out += QStringView(sql).mid(i, stop - i);
        i = stop;
    };
    while (i < n) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // A doubled quote continues the constant or name; E'' constants may escape a quote
            // with a backslash.
            const bool escapes = c == QLatin1Char('\'') && i > 0 &&
                                 (sql.at(i - 1) == QLatin1Char('E') || sql.at(i - 1) == QLatin1Char('e'));
            qsizetype j = i + 1;
            while (j < n) {
                if (escapes && sql.at(j) == QLatin1Char('\\')) {
                    j += 2;
                    continue;
                }
                if (sql.at(j) == c) {
                    if (j + 1 < n && sql.at(j + 1) == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            const qsizetype stop = std::min(j + 1, n);
            out += QStringView(sql).mid(i, stop - i);
            i = stop;
        } else if (c == QLatin1Char('-') && i + 1 < n && sql.at(i + 1) == QLatin1Char('-')) {
            copyThrough(QStringLiteral("\n"), i);
        } else if (c == QLatin1Char('/') && i + 1 < n && sql.at(i + 1) == QLatin1Char('*')) {
            copyThrough(QStringLiteral("*/"), i + 2);
        } else if (c == QLatin1Char('$') &&
                   (i == 0 || !(sql.at(i - 1).isLetterOrNumber() || sql.at(i - 1) == QLatin1Char('_')))) {
            // A dollar quote: $$ or $tag$, closed by the same text.
            qsizetype j = i + 1;
            while (j < n && (sql.at(j).isLetterOrNumber() || sql.at(j) == QLatin1Char('_')))
                ++j;
            if (j < n && sql.at(j) == QLatin1Char('$') && !(j > i + 1 && sql.at(i + 1).isDigit())) {
                const QString tag = sql.mid(i, j - i + 1);
                out += tag;
                i = j + 1;
                copyThrough(tag, i);
            } else {
                out += c;
                ++i;
            }
        } else if (c == QLatin1Char('?')) {
            out += QLatin1Char('$') + QString::number(++count);
            ++i;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

Result<BoundStatementRows, BoundStatementFailure>
postgresRunBound(PGconn* handle, const QString& sql, const QVariantList& values, bool firstRowOnly) {
    int placeholders = 0;
    const QByteArray text = numberedPlaceholders(sql, placeholders).toUtf8();
    if (placeholders != values.size())
        return BoundStatementFailure{
            QStringLiteral("the statement has %1 placeholders but %2 values were given")
                .arg(placeholders)
                .arg(values.size())};
    const Parameters parameters(values);
    const PgResult result(PQexecParams(handle, text.constData(), parameters.count(), parameters.types.data(),
                                       parameters.values.data(), parameters.lengths.data(),
                                       parameters.formats.data(), 0));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        return failureOf(handle, result.get());
    BoundStatementRows rows;
    rows.affected = QByteArray(PQcmdTuples(result.get())).toLongLong();
    const int rowCount = PQntuples(result.get());
    const int columns = PQnfields(result.get());
    for (int row = 0; row < rowCount && !(firstRowOnly && row > 0); ++row) {
        QVariantList fields;
        fields.reserve(columns);
        for (int column = 0; column < columns; ++column)
            fields.append(columnValue(result.get(), row, column));
        rows.rows.append(std::move(fields));
    }
    return rows;
}

} // namespace tarnlow
