#pragma once

#include "update/sql_scanner.h"

#include <QList>
#include <QString>

#include <optional>

namespace tarnlow {

// Why a database would not run an update script: where, the words that stand there, and why.
struct ScriptRefusal {
    int line = 0;
    QString words;  // "BEGIN TRAN", "CREATE INDEX CONCURRENTLY"
    QString reason; // what running it would do, or why it cannot run
    // "line 1, BEGIN TRAN"
    QString place() const;
    // "line 1, BEGIN TRAN: " and the reason
    QString text() const;
    bool operator==(const ScriptRefusal&) const = default;
};

// Whether one database runs the script.
struct ScriptVerdict {
    ScriptDialect dialect = ScriptDialect::SqlServer;
    std::optional<ScriptRefusal> refusal; // none: the script applies
    bool applies() const { return !refusal.has_value(); }
};

// The verdict of every database the program knows, in the order of kScriptDialects.
struct ScriptVerdicts {
    QList<ScriptVerdict> verdicts;

    const ScriptVerdict& on(ScriptDialect dialect) const;
    bool refusedEverywhere() const;
    bool refusedSomewhere() const;
    // "applies on SQL Server; refused on PostgreSQL and SQLite: line 1, BEGIN TRAN"
    QString summary() const;
    // The same with the reason of each refusal.
    QString explained() const;
};

// Judges the SQL script of an update package the way `dialect`'s database reads it. The import
// runs the script inside the one transaction that also stores the package's files, so a script
// must neither end nor split that transaction, and must hold no statement that cannot run inside
// a transaction:
// - SQL Server: the body of CREATE / ALTER / CREATE OR ALTER PROCEDURE, FUNCTION, TRIGGER or VIEW
//   (to the end of its batch) is a definition, where anything may stand; such a definition must
//   be the first statement of its batch. Outside them a BEGIN TRAN that a later COMMIT balances
//   nests inside the import's transaction and is allowed, as are SAVE TRAN name and ROLLBACK TRAN
//   name to a savepoint the script saved; a COMMIT with nothing to balance, any other ROLLBACK,
//   BEGIN DISTRIBUTED TRAN and a BEGIN TRAN left open are refused, as is a GO line with a count.
// - PostgreSQL and SQLite: BEGIN, START TRANSACTION, COMMIT, END, ROLLBACK, ABORT, SAVEPOINT,
//   RELEASE and PREPARE TRANSACTION statements are refused; in SQLite also a ROLLBACK anywhere
//   (INSERT OR ROLLBACK, ON CONFLICT ROLLBACK, RAISE(ROLLBACK, ...)). Bodies in $$ quotes and
//   trigger bodies are not statements of the script. A line holding only GO is refused.
// Each database has its table of statements that cannot run in a transaction. A zero byte is
// refused everywhere: no database reads a statement past it.
ScriptVerdict judgeScript(const QString& script, ScriptDialect dialect);
ScriptVerdicts judgeScriptEverywhere(const QString& script);

// One batch of a script as SQL Server's tools send it: the text between lines that hold only GO.
struct ScriptBatch {
    QString text;
    int firstLine = 1;         // the script's line of the batch's first statement
    bool hasStatements = true; // false when the batch holds only blanks and comments
};

// The batches of a script for SQL Server; a script without GO lines is one batch.
QList<ScriptBatch> sqlServerBatches(const QString& script);

} // namespace tarnlow
