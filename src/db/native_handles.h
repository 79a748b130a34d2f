#pragma once

// The native connection handles behind Qt's SQL drivers, for the work Qt SQL does not offer:
// binary values in pieces, interrupting a statement.

class QSqlDatabase;
struct pg_conn;

namespace tarnlow {

// libpq's connection when the connection is Qt's PostgreSQL driver, else null.
pg_conn* postgresHandle(const QSqlDatabase& db);

// The ODBC connection handle (an SQLHDBC) when the connection is Qt's ODBC driver, else null.
void* odbcHandle(const QSqlDatabase& db);

} // namespace tarnlow
