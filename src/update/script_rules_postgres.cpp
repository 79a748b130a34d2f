// How PostgreSQL runs an update script: statements divided by semicolons, function bodies in $$
// quotes or BEGIN ATOMIC ... END, and the statements it refuses inside a transaction block.

#include "update/script_rules.h"

namespace tarnlow {
namespace {

// Statements that begin, end or split a transaction.
const QList<const char16_t*> kTransactionControl = {
    u"BEGIN ?TRANSACTION|WORK|TRAN",
    u"START TRANSACTION",
    u"COMMIT ?PREPARED|TRANSACTION|WORK",
    u"END ?TRANSACTION|WORK",
    u"ROLLBACK ?PREPARED|TRANSACTION|WORK|TO",
    u"ABORT ?TRANSACTION|WORK",
    u"SAVEPOINT",
    u"RELEASE ?SAVEPOINT",
    u"PREPARE TRANSACTION",
};

// Statements PostgreSQL refuses inside a transaction block.
const QList<const char16_t*> kNotInTransaction = {
    u"CREATE ?UNIQUE INDEX CONCURRENTLY",
    u"DROP INDEX CONCURRENTLY",
    u"REINDEX () INDEX|TABLE|SCHEMA CONCURRENTLY",
    u"REINDEX () DATABASE|SYSTEM",
    u"VACUUM",
    u"CREATE DATABASE",
    u"DROP DATABASE",
    u"CREATE TABLESPACE",
    u"DROP TABLESPACE",
    u"ALTER SYSTEM",
    u"CLUSTER ?VERBOSE $",
    u"DISCARD ALL",
};

} // namespace

std::optional<ScriptRefusal> postgresRefusal(const SqlReading& reading) {
    return firstStatementRefusal(
        reading, [&reading](const SqlRange& statement) -> std::optional<ScriptRefusal> {
            if (std::optional<ScriptRefusal> refused = tableRefusal(
                    reading, statement.first, statement.end, kTransactionControl, endsTheTransaction()))
                return refused;
            return tableRefusal(reading, statement.first, statement.end, kNotInTransaction,
                                cannotRunInTransaction());
        });
}

} // namespace tarnlow
