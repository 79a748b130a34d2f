#include "tools/stock_csv.h"

#include "host/code_page.h"

#include <QFile>
#include <QLocale>

#include <cmath>

namespace tarnlow {
namespace {

int columnIndex(const QStringList& header, const QString& name) {
    for (int i = 0; i < header.size(); ++i) {
        if (header.at(i).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool isBlank(const CsvRecord& record) {
    return record.fields.size() == 1 && record.fields.first().trimmed().isEmpty();
}

} // namespace

Result<QList<CsvRecord>> parseCsv(const QString& text) {
    QList<CsvRecord> records;
    CsvRecord record;
    QString field;
    int line = 1;
    record.line = 1;
    bool quoted = false;
    int quoteLine = 0;
    bool any = false; // the current record has begun
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                    field += QLatin1Char('"');
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == QLatin1Char('\n'))
                    ++line;
                field += c;
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            quoteLine = line;
            any = true;
        } else if (c == QLatin1Char(',')) {
            record.fields.append(field);
            field.clear();
            any = true;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            record.fields.append(field);
            records.append(record);
            field.clear();
            record = CsvRecord{};
            ++line;
            record.line = line;
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (quoted)
        return Error{
            QStringLiteral("the quoted field that starts on line %1 is never closed").arg(quoteLine)};
    if (any) {
        record.fields.append(field);
        records.append(record);
    }
    return records;
}

Result<QList<StockRow>> readStockFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Error{file.errorString()};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Error{file.errorString()};
    Result<QString> text = decodeTextFile(bytes);
    if (!text)
        return Error{text.error()};
    const Result<QList<CsvRecord>> parsed = parseCsv(*text);
    if (!parsed)
        return Error{parsed.error()};

    QList<CsvRecord> records;
    for (const CsvRecord& record : *parsed) {
        if (!isBlank(record))
            records.append(record);
    }
    QList<StockRow> rows;
    if (records.isEmpty())
        return rows;

    const CsvRecord& header = records.first();
    const int key = columnIndex(header.fields, kStockKeyColumn);
    const int quantity = columnIndex(header.fields, kStockQuantityColumn);
    for (const auto& [index, name] :
         {std::pair{key, kStockKeyColumn}, std::pair{quantity, kStockQuantityColumn}}) {
        if (index < 0)
            return Error{
                QStringLiteral("the header row (line %1) names no column %2").arg(header.line).arg(name)};
    }
    const int needed = std::max(key, quantity) + 1;
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    rows.reserve(records.size() - 1);
    for (qsizetype i = 1; i < records.size(); ++i) {
        const CsvRecord& record = records.at(i);
        if (record.fields.size() < needed)
            return Error{QStringLiteral("line %1 has %2 fields, too few to reach the column %3")
                             .arg(record.line)
                             .arg(record.fields.size())
                             .arg(key > quantity ? kStockKeyColumn : kStockQuantityColumn)};
        // A field more than the header names is most likely a decimal comma that split a value;
        // taking the fields as they fall would write the wrong quantity.
        for (qsizetype extra = header.fields.size(); extra < record.fields.size(); ++extra) {
            if (!record.fields.at(extra).trimmed().isEmpty())
                return Error{
                    QStringLiteral("line %1 has %2 fields, more than the %3 columns the header row names")
                        .arg(record.line)
                        .arg(record.fields.size())
                        .arg(header.fields.size())};
        }
        StockRow row;
        row.line = record.line;
        row.shortSku = record.fields.at(key).trimmed();
        if (row.shortSku.isEmpty())
            return Error{QStringLiteral("line %1 has an empty %2").arg(record.line).arg(kStockKeyColumn)};
        const QString quantityText = record.fields.at(quantity).trimmed();
        bool ok = false;
        row.quantity = c.toDouble(quantityText, &ok);
        if (!ok || !std::isfinite(row.quantity))
            return Error{QStringLiteral("line %1: the %2 \"%3\" is not a number")
                             .arg(record.line)
                             .arg(kStockQuantityColumn, quantityText)};
        rows.append(row);
    }
    return rows;
}

QString csvField(const QString& value) {
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace tarnlow
