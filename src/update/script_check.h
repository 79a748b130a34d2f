#pragma once

#include <QString>

#include <optional>

namespace tarnlow {

// Why the SQL script of an update package must not run, or no value when it may.
//
// The import runs the script inside the transaction that also stores the package's files, so a
// script must neither end nor split that transaction: BEGIN, COMMIT, END, ROLLBACK, ABORT,
// SAVEPOINT, RELEASE, START/PREPARE TRANSACTION, SAVE TRAN and the forms that end a transaction
// on a conflict (SQLite's OR ROLLBACK, RAISE(ROLLBACK, ...)) are refused wherever they are
// statements, in the dialects of SQL Server, PostgreSQL and SQLite alike. Words inside quoted
// texts, quoted names, comments and dollar-quoted bodies do not count, as long as every one of
// these dialects reads them as quoted or commented; BEGIN ... END blocks of
// triggers and procedures, CASE ... END and ON COMMIT of a temporary table are not transaction
// control. A zero byte is refused too: no database reads a statement past it.
std::optional<QString> scriptRefusal(const QString& script);

} // namespace tarnlow
