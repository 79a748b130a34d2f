#include "db/blob_backends.h"
#include "db/odbc_seam.h"

#include <sql.h>
#include <sqlext.h>

#include <QByteArray>

#include <memory>
#include <vector>

namespace tarnlow {
namespace {

QString diagnostics(SQLSMALLINT type, SQLHANDLE handle, int& code) {
    QStringList texts;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[1024] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN got = SQLGetDiagRec(type, handle, record, state, &native, message,
                                            static_cast<SQLSMALLINT>(sizeof message), &length);
        if (!SQL_SUCCEEDED(got))
            break;
        if (record == 1)
            code = static_cast<int>(native);
        texts.append(QString::fromUtf8(reinterpret_cast<const char*>(message)).trimmed());
    }
    return texts.join(QStringLiteral("; "));
}

struct StatementFreer {
    void operator()(void* statement) const { SQLFreeHandle(SQL_HANDLE_STMT, statement); }
};
using OdbcStatement = std::unique_ptr<void, StatementFreer>;

BlobFailure statementFailure(SQLHSTMT statement, const QString& doing) {
    int code = 0;
    const QString text = diagnostics(SQL_HANDLE_STMT, statement, code);
    return BlobFailure{text.isEmpty() ? doing : doing + QStringLiteral(": ") + text, code};
}

// The values bound to a statement stay here until it has run: ODBC reads them at execution.
struct BoundValues {
    std::vector<SQLINTEGER> integers;
    std::vector<qint64> numbers;
    std::vector<double> reals;
    std::vector<std::u16string> texts;
    std::vector<QByteArray> bytes;
    std::vector<SQLLEN> indicators;

    explicit BoundValues(qsizetype count) {
        // Reserved up front: the driver keeps pointers into these until execution.
        integers.reserve(static_cast<size_t>(count));
        numbers.reserve(static_cast<size_t>(count));
        reals.reserve(static_cast<size_t>(count));
        texts.reserve(static_cast<size_t>(count));
        bytes.reserve(static_cast<size_t>(count));
        indicators.reserve(static_cast<size_t>(count) + 1);
    }
};

std::optional<BlobFailure> bindValue(SQLHSTMT statement, SQLUSMALLINT position, const QVariant& value,
                                     BoundValues& bound) {
    SQLRETURN result = SQL_SUCCESS;
    const int type = value.metaType().id();
    if (value.isNull()) {
        bound.indicators.push_back(SQL_NULL_DATA);
        result = SQLBindParameter(statement, position, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0,
                                  nullptr, 0, &bound.indicators.back());
    } else if (type == QMetaType::Int || type == QMetaType::UInt || type == QMetaType::LongLong ||
               type == QMetaType::Short || type == QMetaType::UShort || type == QMetaType::Long ||
               type == QMetaType::Bool) {
        const qint64 number = value.toLongLong();
        bound.indicators.push_back(0);
        // Integers as 32 bits where they fit: some drivers refuse a 64-bit value for an int column.
        if (number >= INT32_MIN && number <= INT32_MAX) {
            bound.integers.push_back(static_cast<SQLINTEGER>(number));
            result = SQLBindParameter(statement, position, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                      &bound.integers.back(), 0, &bound.indicators.back());
        } else {
            bound.numbers.push_back(number);
            result = SQLBindParameter(statement, position, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                                      &bound.numbers.back(), 0, &bound.indicators.back());
        }
    } else if (type == QMetaType::Double || type == QMetaType::Float) {
        bound.reals.push_back(value.toDouble());
        bound.indicators.push_back(0);
        result = SQLBindParameter(statement, position, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                                  &bound.reals.back(), 0, &bound.indicators.back());
    } else if (type == QMetaType::QByteArray) {
        bound.bytes.push_back(value.toByteArray());
        bound.indicators.push_back(static_cast<SQLLEN>(bound.bytes.back().size()));
        result =
            SQLBindParameter(statement, position, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY,
                             static_cast<SQLULEN>(std::max<qsizetype>(bound.bytes.back().size(), 1)), 0,
                             bound.bytes.back().data(), bound.indicators.back(), &bound.indicators.back());
    } else {
        bound.texts.push_back(value.toString().toStdU16String());
        std::u16string& text = bound.texts.back();
        bound.indicators.push_back(static_cast<SQLLEN>(text.size() * sizeof(char16_t)));
        result = SQLBindParameter(statement, position, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                                  static_cast<SQLULEN>(std::max<size_t>(text.size(), 1)), 0, text.data(),
                                  bound.indicators.back(), &bound.indicators.back());
    }
    if (!SQL_SUCCEEDED(result))
        return statementFailure(statement, QStringLiteral("value %1 cannot be bound").arg(position));
    return std::nullopt;
}

Result<OdbcStatement, BlobFailure> prepare(void* connection, const QString& sql) {
    SQLHSTMT raw = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &raw))) {
        int code = 0;
        const QString text = diagnostics(SQL_HANDLE_DBC, connection, code);
        return BlobFailure{QStringLiteral("no statement can be made: ") + text, code};
    }
    OdbcStatement statement(raw);
    QByteArray text = odbcStatementText(sql).toUtf8();
    if (!SQL_SUCCEEDED(
            SQLPrepare(raw, reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()))))
        return statementFailure(raw, QStringLiteral("the statement cannot be prepared"));
    return statement;
}

} // namespace

Result<BlobFound, BlobFailure> odbcReadBlob(void* connection, const BlobLocation& where,
                                            const BlobPieceSink& sink) {
    if (auto refused = refuseUnplainNames(where.table, QStringList(where.keyColumns) << where.column))
        return *refused;
    QStringList conditions;
    for (const QString& key : where.keyColumns)
        conditions.append(key + QStringLiteral(" = ?"));
    auto prepared =
        prepare(connection, QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                                .arg(where.column, where.table, conditions.join(QStringLiteral(" AND "))));
    if (!prepared)
        return prepared.error();
    SQLHSTMT statement = prepared->get();
    BoundValues bound(where.keyValues.size());
    for (qsizetype i = 0; i < where.keyValues.size(); ++i) {
        if (auto failure =
                bindValue(statement, static_cast<SQLUSMALLINT>(i + 1), where.keyValues.at(i), bound))
            return *failure;
    }
    if (!SQL_SUCCEEDED(SQLExecute(statement)))
        return statementFailure(statement, QStringLiteral("the row cannot be read"));
    const SQLRETURN fetched = SQLFetch(statement);
    if (fetched == SQL_NO_DATA)
        return BlobFound::NoRow;
    if (!SQL_SUCCEEDED(fetched))
        return statementFailure(statement, QStringLiteral("the row cannot be read"));

    // The driver hands the value over in pieces of the buffer's size; each call continues where
    // the last one stopped.
    QByteArray piece(static_cast<qsizetype>(kBlobPieceSize), Qt::Uninitialized);
    qint64 offset = 0;
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN got = SQLGetData(statement, 1, SQL_C_BINARY, piece.data(), piece.size(), &indicator);
        if (got == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(got))
            return statementFailure(statement,
                                    QStringLiteral("the value cannot be read at byte %1").arg(offset));
        if (indicator == SQL_NULL_DATA)
            return BlobFound::Null;
        const qint64 length =
            (indicator == SQL_NO_TOTAL || indicator > piece.size()) ? piece.size() : indicator;
        if (length > 0) {
            if (const Result<void> taken = sink(QByteArrayView(piece.constData(), length)); !taken)
                return BlobFailure{taken.error()};
        }
        offset += length;
        if (got == SQL_SUCCESS)
            break;
    }
    return BlobFound::Value;
}

Result<qint64, BlobFailure> odbcInsertBlobRow(void* connection, bool sqlServer, const QString& table,
                                              const QStringList& columns, const QVariantList& values,
                                              const QString& blobColumn, qint64 size,
                                              const BlobPieceSource& source) {
    if (auto refused = refuseUnplainNames(table, QStringList(columns) << blobColumn))
        return *refused;
    if (columns.size() != values.size())
        return BlobFailure{QStringLiteral("%1 columns but %2 values").arg(columns.size()).arg(values.size())};
    QStringList placeholders;
    for (qsizetype i = 0; i <= columns.size(); ++i)
        placeholders.append(QStringLiteral("?"));
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(table, (QStringList(columns) << blobColumn).join(QStringLiteral(", ")),
                                 placeholders.join(QStringLiteral(", ")));
    auto prepared = prepare(connection, sql);
    if (!prepared)
        return prepared.error();
    SQLHSTMT statement = prepared->get();
    BoundValues bound(values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (auto failure = bindValue(statement, static_cast<SQLUSMALLINT>(i + 1), values.at(i), bound))
            return *failure;
    }
    // The value is handed over at execution, piece by piece, instead of from a bound buffer.
    SQLLEN atExecution = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(size));
    const SQLUSMALLINT blobPosition = static_cast<SQLUSMALLINT>(columns.size() + 1);
    if (!SQL_SUCCEEDED(SQLBindParameter(
            statement, blobPosition, SQL_PARAM_INPUT, SQL_C_BINARY,
            sqlServer ? SQL_LONGVARBINARY : SQL_VARBINARY, static_cast<SQLULEN>(std::max<qint64>(size, 1)), 0,
            reinterpret_cast<SQLPOINTER>(static_cast<quintptr>(blobPosition)), 0, &atExecution)))
        return statementFailure(statement, QStringLiteral("the value cannot be bound"));

    SQLRETURN state = SQLExecute(statement);
    if (state != SQL_NEED_DATA)
        return statementFailure(statement, QStringLiteral("the row cannot be inserted"));
    SQLPOINTER token = nullptr;
    state = SQLParamData(statement, &token);
    if (state != SQL_NEED_DATA)
        return statementFailure(statement, QStringLiteral("the row cannot be inserted"));
    const auto send = [&](const char* data, qint64 length, qint64 offset) -> std::optional<BlobFailure> {
        // SQLPutData takes a pointer to writable memory in its signature only; it reads the bytes.
        if (!SQL_SUCCEEDED(SQLPutData(statement, const_cast<char*>(data), static_cast<SQLLEN>(length))))
            return statementFailure(statement,
                                    QStringLiteral("the value cannot be sent at byte %1").arg(offset));
        return std::nullopt;
    };
    if (auto failed = pumpBlobPieces(source, size, send)) {
        SQLCancel(statement);
        return *failed;
    }
    char nothing = 0;
    if (size == 0 && !SQL_SUCCEEDED(SQLPutData(statement, &nothing, 0)))
        return statementFailure(statement, QStringLiteral("the value cannot be sent"));
    state = SQLParamData(statement, &token);
    if (!SQL_SUCCEEDED(state) && state != SQL_NO_DATA)
        return statementFailure(statement, QStringLiteral("the row cannot be inserted"));
    // A driver that does not know (SQL Server's under SET NOCOUNT ON) says -1; the caller confirms
    // the row another way then.
    SQLLEN rows = -1;
    if (!SQL_SUCCEEDED(SQLRowCount(statement, &rows)))
        rows = -1;
    return odbcRowCount(sql, static_cast<qint64>(rows));
}

} // namespace tarnlow
