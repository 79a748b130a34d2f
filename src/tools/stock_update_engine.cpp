#include "tools/stock_update_engine.h"

#include "db/transaction.h"

#include <optional>

namespace tarnlow {
namespace {

const QString kRowSavepoint = QStringLiteral("tarnlow_stock_row");

// The rows the update of `key` changed: the driver's count, or where it reports none (SQL Server's
// under SET NOCOUNT ON) the key's rows counted in the same transaction, which the update has just
// written. No value when they cannot be counted.
std::optional<qint64> changedRows(Transaction& sqlca, const QString& key) {
    if (sqlca.SQLNRows >= 0)
        return sqlca.SQLNRows;
    const std::optional<QVariantList> row = sqlca.selectInto(kStockRowCheck, {key});
    if (!row || row->isEmpty())
        return std::nullopt;
    return row->first().toLongLong();
}

// Ends the open transaction without keeping it and opens the next one, so that the run goes on
// inside a transaction whether autocommit is on or off.
int restartTransaction(Transaction& sqlca) {
    sqlca.rollback();
    if (!sqlca.inTransaction())
        return sqlca.begin();
    return kSqlSuccess;
}

int keepTransaction(Transaction& sqlca) {
    if (sqlca.commit() != kSqlSuccess)
        return sqlca.SQLCode;
    if (!sqlca.inTransaction())
        return sqlca.begin();
    return kSqlSuccess;
}

// Finds out which savepoint statements the data source understands. A statement it refuses may
// spoil the open transaction, which holds nothing of the run yet, so it is begun anew.
RowIsolation probeIsolation(Transaction& sqlca) {
    if (sqlca.execute(QStringLiteral("SAVEPOINT ") + kRowSavepoint) == kSqlSuccess) {
        if (sqlca.execute(QStringLiteral("RELEASE SAVEPOINT ") + kRowSavepoint) == kSqlSuccess)
            return RowIsolation::Savepoint;
    }
    restartTransaction(sqlca);
    if (sqlca.execute(QStringLiteral("SAVE TRANSACTION ") + kRowSavepoint) == kSqlSuccess)
        return RowIsolation::SaveTransaction;
    restartTransaction(sqlca);
    return RowIsolation::CommitEachRow;
}

int enterRow(Transaction& sqlca, RowIsolation isolation) {
    switch (isolation) {
    case RowIsolation::Savepoint:
        return sqlca.execute(QStringLiteral("SAVEPOINT ") + kRowSavepoint);
    case RowIsolation::SaveTransaction:
        return sqlca.execute(QStringLiteral("SAVE TRANSACTION ") + kRowSavepoint);
    case RowIsolation::CommitEachRow:
        return kSqlSuccess;
    }
    return kSqlSuccess;
}

int keepRow(Transaction& sqlca, RowIsolation isolation) {
    switch (isolation) {
    case RowIsolation::Savepoint:
        return sqlca.execute(QStringLiteral("RELEASE SAVEPOINT ") + kRowSavepoint);
    case RowIsolation::SaveTransaction:
        return kSqlSuccess;
    case RowIsolation::CommitEachRow:
        return keepTransaction(sqlca);
    }
    return kSqlSuccess;
}

int undoRow(Transaction& sqlca, RowIsolation isolation) {
    switch (isolation) {
    case RowIsolation::Savepoint:
        if (sqlca.execute(QStringLiteral("ROLLBACK TO SAVEPOINT ") + kRowSavepoint) != kSqlSuccess)
            return sqlca.SQLCode;
        return sqlca.execute(QStringLiteral("RELEASE SAVEPOINT ") + kRowSavepoint);
    case RowIsolation::SaveTransaction:
        return sqlca.execute(QStringLiteral("ROLLBACK TRANSACTION ") + kRowSavepoint);
    case RowIsolation::CommitEachRow:
        return restartTransaction(sqlca);
    }
    return kSqlSuccess;
}

StockUpdateReport failRun(Transaction& sqlca, StockUpdateReport report, const QString& text) {
    if (sqlca.isConnected())
        sqlca.rollback();
    report.end = StockRunEnd::Failed;
    report.failureText = text;
    if (report.isolation != RowIsolation::CommitEachRow)
        report.written = 0;
    return report;
}

} // namespace

QString stockRowStatusText(StockRowStatus status) {
    switch (status) {
    case StockRowStatus::Written:
        return QStringLiteral("written");
    case StockRowStatus::NoRow:
        return QStringLiteral("no row");
    case StockRowStatus::Failed:
        return QStringLiteral("failed");
    }
    return {};
}

StockUpdateReport runStockUpdate(Transaction& sqlca, const QList<StockRow>& rows,
                                 const StockUpdateProgress& progress, const std::atomic_bool* stop) {
    StockUpdateReport report;
    report.rowCount = static_cast<int>(rows.size());
    if (!sqlca.isConnected())
        return failRun(sqlca, report, QStringLiteral("not connected to a data source"));
    if (!sqlca.inTransaction() && sqlca.begin() != kSqlSuccess)
        return failRun(sqlca, report, sqlca.SQLErrText);
    if (!rows.isEmpty())
        report.isolation = probeIsolation(sqlca);
    if (!sqlca.inTransaction())
        return failRun(sqlca, report, sqlca.SQLErrText);

    int updated = 0; // rows updated inside the open transaction, not yet committed
    for (int i = 0; i < rows.size(); ++i) {
        if (stop && stop->load()) {
            sqlca.rollback();
            report.end = StockRunEnd::Stopped;
            return report;
        }
        const StockRow& row = rows.at(i);
        StockRowOutcome outcome;
        outcome.row = i + 1;
        outcome.line = row.line;
        outcome.shortSku = row.shortSku;
        if (enterRow(sqlca, report.isolation) != kSqlSuccess)
            return failRun(sqlca, report,
                           QStringLiteral("row %1 (%2): the savepoint cannot be set: %3")
                               .arg(outcome.row)
                               .arg(row.shortSku, sqlca.SQLErrText));
        const bool ran =
            sqlca.execute(kStockUpdateStatement, {row.quantity, row.quantity, row.shortSku}) == kSqlSuccess;
        const std::optional<qint64> changed = ran ? changedRows(sqlca, row.shortSku) : std::nullopt;
        if (!changed) {
            outcome.status = StockRowStatus::Failed;
            outcome.text = ran ? QStringLiteral("the rows it changed cannot be counted: ") + sqlca.SQLErrText
                               : sqlca.SQLErrText;
            // Without its savepoint the failure has taken the rows before it along.
            if (undoRow(sqlca, report.isolation) != kSqlSuccess || !sqlca.inTransaction())
                return failRun(sqlca, report,
                               QStringLiteral("row %1 (%2) failed (%3) and the data source then ended the "
                                              "transaction: %4")
                                   .arg(outcome.row)
                                   .arg(row.shortSku, outcome.text, sqlca.SQLErrText));
        } else {
            outcome.status = *changed > 0 ? StockRowStatus::Written : StockRowStatus::NoRow;
            if (keepRow(sqlca, report.isolation) != kSqlSuccess) {
                outcome.status = StockRowStatus::Failed;
                outcome.text = sqlca.SQLErrText;
                if (report.isolation != RowIsolation::CommitEachRow)
                    return failRun(sqlca, report,
                                   QStringLiteral("row %1 (%2): the savepoint cannot be released: %3")
                                       .arg(outcome.row)
                                       .arg(row.shortSku, outcome.text));
                if (!sqlca.inTransaction() && sqlca.begin() != kSqlSuccess)
                    return failRun(sqlca, report, sqlca.SQLErrText);
            }
        }
        ++report.processed;
        switch (outcome.status) {
        case StockRowStatus::Written:
            if (report.isolation == RowIsolation::CommitEachRow)
                ++report.written;
            else
                ++updated;
            break;
        case StockRowStatus::NoRow:
            ++report.noRow;
            report.problems.append(outcome);
            break;
        case StockRowStatus::Failed:
            ++report.failed;
            report.problems.append(outcome);
            break;
        }
        if (progress)
            progress(outcome);
    }
    if (sqlca.commit() != kSqlSuccess)
        return failRun(sqlca, report, QStringLiteral("the commit failed: ") + sqlca.SQLErrText);
    report.written += updated;
    report.end = StockRunEnd::Committed;
    return report;
}

} // namespace tarnlow
