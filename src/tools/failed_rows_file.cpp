#include "tools/failed_rows_file.h"

#include <QSaveFile>

namespace tarnlow {

Result<void> writeFailedRowsFile(const QString& path, const QList<StockRowOutcome>& rows) {
    QString text = kFailedRowsColumns.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const StockRowOutcome& row : rows)
        text += csvField(row.shortSku) + QLatin1Char(',') + csvField(stockRowStatusText(row.status)) +
                QLatin1Char(',') + csvField(row.text) + QLatin1Char('\n');
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Error{file.errorString()};
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit())
        return Error{file.errorString()};
    return {};
}

} // namespace tarnlow
