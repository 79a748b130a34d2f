#include "tools/failed_rows_file.h"

#include "host/output_file.h"

namespace tarnlow {

Result<void> writeFailedRowsFile(const QString& path, const QList<StockRowOutcome>& rows) {
    QString text = kFailedRowsColumns.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const StockRowOutcome& row : rows)
        text += csvField(row.shortSku) + QLatin1Char(',') + csvField(stockRowStatusText(row.status)) +
                QLatin1Char(',') + csvField(row.text) + QLatin1Char('\n');
    return saveWholeFile(path, text.toUtf8());
}

} // namespace tarnlow
