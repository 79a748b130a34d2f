// How SQLite runs an update script: statements divided by semicolons, trigger bodies between
// BEGIN and END, conflict clauses that roll the whole transaction back, and the statements it
// refuses inside a transaction.

#include "update/script_rules.h"

namespace tarnlow {
namespace {

// Statements that begin, end or split a transaction.
const QList<const char16_t*> kTransactionControl = {
    u"BEGIN ?DEFERRED|IMMEDIATE|EXCLUSIVE ?TRANSACTION|TRAN",
    u"COMMIT ?TRANSACTION",
    u"END ?TRANSACTION",
    u"ROLLBACK ?TRANSACTION",
    u"SAVEPOINT",
    u"RELEASE ?SAVEPOINT",
};

// Statements SQLite refuses inside a transaction.
const QList<const char16_t*> kNotInTransaction = {
    u"VACUUM",
    u"PRAGMA * JOURNAL_MODE * WAL",
};

} // namespace

std::optional<ScriptRefusal> sqliteRefusal(const SqlReading& reading) {
    return firstStatementRefusal(
        reading, [&reading](const SqlRange& statement) -> std::optional<ScriptRefusal> {
            // EXPLAIN prepares the statement it explains, transaction control included.
            qsizetype first = statement.first;
            if (const std::optional<QString> explain =
                    reading.match(first, statement.end, u"EXPLAIN ?QUERY ?PLAN"))
                first += explain->count(QLatin1Char(' ')) + 1;
            if (std::optional<ScriptRefusal> refused =
                    tableRefusal(reading, first, statement.end, kTransactionControl, endsTheTransaction()))
                return refused;
            // OR ROLLBACK, ON CONFLICT ROLLBACK and RAISE(ROLLBACK, ...) roll back the whole
            // transaction when they strike, the import's with it.
            for (qsizetype i = first; i < statement.end; ++i) {
                if (reading.word(i) != QLatin1String("ROLLBACK"))
                    continue;
                const QString before = reading.word(i - 1);
                QString words = QStringLiteral("ROLLBACK");
                if (before == QLatin1String("OR"))
                    words = QStringLiteral("OR ROLLBACK");
                else if (before == QLatin1String("CONFLICT"))
                    words = QStringLiteral("ON CONFLICT ROLLBACK");
                else if (before.isEmpty() && reading.word(i - 2) == QLatin1String("RAISE"))
                    words = QStringLiteral("RAISE(ROLLBACK");
                return refusalAt(
                    reading, i, words,
                    QStringLiteral("when it strikes it rolls back the whole transaction the import "
                                   "runs the script in"));
            }
            return tableRefusal(reading, first, statement.end, kNotInTransaction, cannotRunInTransaction());
        });
}

} // namespace tarnlow
