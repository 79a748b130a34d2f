#pragma once

#include "host/result.h"
#include "tools/stock_update_engine.h"

#include <QList>
#include <QString>

namespace tarnlow {

// The columns of the list of failed rows, as the CSV file names them.
inline const QStringList kFailedRowsColumns{QStringLiteral("file_write"), QStringLiteral("status"),
                                            QStringLiteral("message")};

// Writes the failed and no-row rows as a UTF-8 CSV file with a header row (file_write = the key,
// status "failed" or "no row", message = the server's text). The file is replaced whole or not
// at all; an empty list writes the header row alone.
Result<void> writeFailedRowsFile(const QString& path, const QList<StockRowOutcome>& rows);

} // namespace tarnlow
