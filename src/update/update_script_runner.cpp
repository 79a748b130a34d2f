#include "update/update_script_runner.h"

#include "db/transaction.h"

namespace tarnlow {
namespace {

std::optional<qint64> transactionDepth(Transaction& sqlca, QString& failure) {
    const std::optional<QVariantList> row = sqlca.selectInto(kTransactionDepthQuery);
    bool isNumber = false;
    const qint64 depth = row && !row->isEmpty() ? row->first().toLongLong(&isNumber) : 0;
    if (isNumber)
        return depth;
    failure = QStringLiteral("%1 gave no number: %2")
                  .arg(kTransactionDepthQuery,
                       sqlca.SQLErrText.isEmpty() ? QStringLiteral("no row") : sqlca.SQLErrText);
    return std::nullopt;
}

ScriptRun failedRun(ScriptRun::Outcome outcome, const QString& failure) {
    ScriptRun run;
    run.outcome = outcome;
    run.failure = failure;
    return run;
}

QString serverText(const Transaction& sqlca) {
    return sqlca.SQLErrText.isEmpty() ? QStringLiteral("SQL code %1").arg(sqlca.SQLCode) : sqlca.SQLErrText;
}

// SQL Server: every batch in turn, inside the caller's transaction, and the transaction still the
// caller's afterwards.
ScriptRun runBatches(Transaction& sqlca, const QString& script) {
    QString failure;
    const std::optional<qint64> before = transactionDepth(sqlca, failure);
    if (!before)
        return failedRun(ScriptRun::Outcome::DepthUnreadable, failure);
    const QList<ScriptBatch> batches = sqlServerBatches(script);
    for (qsizetype i = 0; i < batches.size(); ++i) {
        const ScriptBatch& batch = batches.at(i);
        if (!batch.hasStatements)
            continue;
        if (sqlca.executeImmediate(batch.text) < 0) {
            const QString text = serverText(sqlca);
            return failedRun(ScriptRun::Outcome::Failed,
                             batches.size() == 1 ? text
                                                 : QStringLiteral("batch %1 of %2 (from line %3): %4")
                                                       .arg(i + 1)
                                                       .arg(batches.size())
                                                       .arg(batch.firstLine)
                                                       .arg(text));
        }
    }
    const std::optional<qint64> after = transactionDepth(sqlca, failure);
    if (!after)
        return failedRun(ScriptRun::Outcome::DepthUnreadable, failure);
    ScriptRun run;
    run.depthBefore = *before;
    run.depthAfter = *after;
    if (*after < *before)
        run.outcome = ScriptRun::Outcome::TransactionEnded;
    else if (*after > *before)
        run.outcome = ScriptRun::Outcome::TransactionLeftOpen;
    return run;
}

} // namespace

std::optional<ScriptDialect> connectedScriptDialect(const Transaction& sqlca) {
    switch (sqlca.kind()) {
    case DbmsKind::SQLite:
        return ScriptDialect::Sqlite;
    case DbmsKind::PostgreSQL:
        return ScriptDialect::PostgreSql;
    case DbmsKind::SqlServer:
        return ScriptDialect::SqlServer;
    case DbmsKind::Odbc:
        break;
    }
    const QString name = sqlca.databaseSystemName();
    if (name.contains(QLatin1String("SQL Server"), Qt::CaseInsensitive))
        return ScriptDialect::SqlServer;
    if (name.contains(QLatin1String("PostgreSQL"), Qt::CaseInsensitive))
        return ScriptDialect::PostgreSql;
    if (name.contains(QLatin1String("SQLite"), Qt::CaseInsensitive))
        return ScriptDialect::Sqlite;
    return std::nullopt;
}

std::optional<QString> connectedRefusal(const ScriptVerdicts& verdicts,
                                        std::optional<ScriptDialect> dialect) {
    if (dialect) {
        const ScriptVerdict& verdict = verdicts.on(*dialect);
        return verdict.applies() ? std::nullopt : std::optional<QString>(verdict.refusal->text());
    }
    return verdicts.refusedSomewhere() ? std::optional<QString>(verdicts.explained()) : std::nullopt;
}

ScriptRun runUpdateScript(Transaction& sqlca, const QString& script, std::optional<ScriptDialect> dialect) {
    if (dialect == ScriptDialect::SqlServer)
        return runBatches(sqlca, script);
    if (sqlca.executeImmediate(script) < 0)
        return failedRun(ScriptRun::Outcome::Failed, serverText(sqlca));
    return ScriptRun{};
}

} // namespace tarnlow
