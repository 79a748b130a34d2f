#pragma once

#include "host/result.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>

struct pg_conn;

namespace tarnlow {

// The outcome of one statement with bound values on PostgreSQL.
struct BoundStatementRows {
    QList<QVariantList> rows; // every row, or the first alone when only that was asked for
    qint64 affected = 0;      // rows the statement changed or returned, as the server counts them
};

struct BoundStatementFailure {
    QString text;
    int code = 0; // the SQLSTATE when it is a number, as Qt's driver reports it
};

// The statement with its '?' placeholders numbered $1, $2, ... as PostgreSQL writes them; marks
// inside string constants, quoted names, dollar-quoted bodies and comments stay. `count` receives
// the number of placeholders.
QString numberedPlaceholders(const QString& sql, int& count);

// Runs one statement with bound values as the protocol's unnamed statement (PQexecParams), so that
// nothing named outlives it on the server: a pooler in transaction mode may hand the next
// statement to another server connection. Values go as text, except bytes, which go as binary
// bytea. Result columns come back as Qt's PostgreSQL driver gives them (numbers, booleans, bytes,
// dates as such; everything else as text; SQL NULL as a null value of the column's type).
Result<BoundStatementRows, BoundStatementFailure>
postgresRunBound(pg_conn* handle, const QString& sql, const QVariantList& values, bool firstRowOnly);

} // namespace tarnlow
