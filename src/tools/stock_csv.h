#pragma once

#include "host/result.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tarnlow {

// The two columns a stock file must name in its header row, in any order among other columns.
inline const QString kStockKeyColumn = QStringLiteral("strivmst_short_sku");
inline const QString kStockQuantityColumn = QStringLiteral("strivmst_clos_stk_qty");

// One source row of the stock update.
struct StockRow {
    QString shortSku;
    double quantity = 0;
    int line = 0; // line of the file on which the row starts, 1-based
};

// The records of a CSV text: fields separated by commas, records by line ends (LF or CR LF),
// fields in double quotes may hold commas, line ends and doubled quotes. Each record carries the
// line it starts on. An error names the line of a quoted field that is never closed.
struct CsvRecord {
    QStringList fields;
    int line = 0;
};
Result<QList<CsvRecord>> parseCsv(const QString& text);

// Reads a stock file: a CSV file in UTF-8 (with or without byte-order mark) or GBK, whose first
// record names the columns. Blank lines are skipped; an empty file, or one with only the header
// row, has no rows. Every row needs a key and a quantity in plain decimal notation ("12",
// "-3.5", "1e3"), and no row may have filled fields beyond the header's columns (a decimal comma
// would otherwise shift the values); anything else is an error that names the line and the
// value, and no rows are returned.
Result<QList<StockRow>> readStockFile(const QString& path);

// The text of one CSV field, in double quotes when it holds a comma, a quote or a line end.
QString csvField(const QString& value);

} // namespace tarnlow
