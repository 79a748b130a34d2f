#pragma once

#include "tools/stock_csv.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>

namespace tarnlow {

class Transaction;

// The update of one stock row; its values are bound in this order: quantity, quantity, key.
inline const QString kStockUpdateStatement =
    QStringLiteral("update strivmst set clos_stk_qty =? , clos_stk_cost =? *str_last_avg_cost where "
                   "short_sku =? and store ='0104' ");

// Counts the rows of a key where the data source reports no row count for the update; bound value:
// the key.
inline const QString kStockRowCheck =
    QStringLiteral("select count ( *) from strivmst where short_sku =? and store ='0104' ");

enum class StockRowStatus {
    Written, // the statement changed at least one row
    NoRow,   // the statement ran but no row of store '0104' has the key
    Failed,  // the statement failed; text holds the server's text
};

struct StockRowOutcome {
    int row = 0;  // 1-based position among the source rows
    int line = 0; // line of the source file
    QString shortSku;
    StockRowStatus status = StockRowStatus::Written;
    QString text;
};

// How a run ended.
enum class StockRunEnd {
    Committed, // every row was tried and what was written is committed
    Stopped,   // stopped on request; nothing of the run is kept (unless eachRowCommitted)
    Failed,    // the run could not go on or not be committed; nothing of it is kept
};

// How each row is kept apart from the others, so that one failing statement does not take the
// rows around it with it.
enum class RowIsolation {
    Savepoint,       // SAVEPOINT / RELEASE SAVEPOINT / ROLLBACK TO SAVEPOINT
    SaveTransaction, // SQL Server's SAVE TRANSACTION / ROLLBACK TRANSACTION
    CommitEachRow,   // no savepoints: each row is a transaction of its own
};

struct StockUpdateReport {
    int rowCount = 0;
    int processed = 0; // rows tried
    int written = 0;   // rows whose update is committed
    int noRow = 0;
    int failed = 0;
    QList<StockRowOutcome> problems; // the failed and no-row rows, in source order
    StockRunEnd end = StockRunEnd::Committed;
    QString failureText; // why the run failed (StockRunEnd::Failed)
    RowIsolation isolation = RowIsolation::Savepoint;
};

// Called after each row with its outcome.
using StockUpdateProgress = std::function<void(const StockRowOutcome& outcome)>;

// Writes the rows into strivmst through the connected transaction object: one statement per
// row, each inside a savepoint (or its own transaction where the data source has none), and one
// commit when every row was tried. A row that fails or matches nothing is listed in the report
// and the run goes on. When stop becomes true the run ends after the current row and is rolled
// back.
StockUpdateReport runStockUpdate(Transaction& sqlca, const QList<StockRow>& rows,
                                 const StockUpdateProgress& progress = {},
                                 const std::atomic_bool* stop = nullptr);

// The status as written into the list of failed rows: "written", "no row", "failed".
QString stockRowStatusText(StockRowStatus status);

} // namespace tarnlow
