#pragma once

#include "update/script_check.h"

#include <QString>

#include <optional>

namespace tarnlow {

class Transaction;

// The statement that tells how deeply SQL Server's transactions are nested on the connection.
inline const QString kTransactionDepthQuery = QStringLiteral("SELECT @@TRANCOUNT");

// How the database `sqlca` is connected to reads scripts: SQL Server, PostgreSQL or SQLite, also
// behind ODBC as the driver names it; no value for an ODBC data source of another kind, for which
// a script must pass the rules of every database the program knows.
std::optional<ScriptDialect> connectedScriptDialect(const Transaction& sqlca);

// Why the connected database (`dialect`, or every database when none) refuses a script with these
// verdicts, or no value when it runs it.
std::optional<QString> connectedRefusal(const ScriptVerdicts& verdicts, std::optional<ScriptDialect> dialect);

struct ScriptRun {
    enum class Outcome {
        Ran,
        Failed,              // a statement failed; `failure` holds the server's text
        DepthUnreadable,     // SQL Server: @@TRANCOUNT could not be read; `failure` says why
        TransactionEnded,    // SQL Server: the script committed or rolled back the caller's transaction
        TransactionLeftOpen, // SQL Server: the script began a transaction it did not end
    };
    Outcome outcome = Outcome::Ran;
    QString failure;
    qint64 depthBefore = 0; // SQL Server: @@TRANCOUNT before and after the script
    qint64 depthAfter = 0;
};

// Runs an update script inside the transaction the caller opened. On SQL Server the batches
// between GO lines run one after the other, and @@TRANCOUNT must be the same after the script as
// before it (a procedure the script calls may commit or roll back); elsewhere the script runs as
// one text. The caller rolls back on any outcome but Ran.
ScriptRun runUpdateScript(Transaction& sqlca, const QString& script, std::optional<ScriptDialect> dialect);

} // namespace tarnlow
