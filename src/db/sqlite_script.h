#pragma once

#include <QSqlDatabase>
#include <QString>

#include <sqlite3.h>

namespace tarnlow {

// The native handle of a connection made by Qt's SQLite driver, null for any other driver.
// Debian's Qt SQLite plugin links the same system libsqlite3 as this program.
sqlite3* sqliteHandle(const QSqlDatabase& db);

struct ScriptOutcome {
    bool ok = true;
    qint64 rows = 0;
    QString error;
    int code = 0;
};

// Qt's SQLite driver runs one statement per call and refuses a text of several, so a script is
// run here statement by statement on the connection's own handle, inside whatever transaction
// the connection has open. Stops at the first failing statement with SQLite's text. Rows count
// what the statements themselves inserted, updated or deleted, not what triggers did.
// With keepTransaction set, statements that would begin, end or split a transaction (BEGIN,
// COMMIT, END, ROLLBACK, SAVEPOINT, RELEASE) are refused before they run, so a script run
// inside the caller's transaction can neither commit half of it nor undo it behind its back.
// A zero byte ends the script with an error: SQLite reads no statement past it.
ScriptOutcome runSqliteScript(sqlite3* handle, const QString& script, bool keepTransaction);

} // namespace tarnlow
