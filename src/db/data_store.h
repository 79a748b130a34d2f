#pragma once

#include "host/result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <optional>

namespace tarnlow {

class Transaction;

// What a data store retrieves: the select text (retrieval arguments as '?' placeholders, in the
// order of `arguments`), the names of the result columns in select order, and an optional sort
// applied after retrieval ("column A, column D": ascending or descending, ascending when left out).
struct DataStoreDefinition {
    QString name;
    QString selectText;
    QStringList columns;
    QString sort;
    QStringList arguments;
};

// Rows retrieved through a transaction object by one definition. Rows and columns are numbered
// from 1, as the callers' loops count them; a column may also be addressed by name (case
// insensitive). Getters on a row or column that does not exist give no value.
class DataStore {
public:
    explicit DataStore(DataStoreDefinition definition);

    const DataStoreDefinition& definition() const { return m_definition; }
    void setTransaction(Transaction* transaction) { m_transaction = transaction; }
    Transaction* transaction() const { return m_transaction; }

    // Replaces the rows with those the select finds and gives their number. The reason when the
    // query failed (the transaction object carries its code as well), when no transaction object
    // is set, or when the arguments or columns do not match the definition.
    Result<int> retrieve(const QVariantList& arguments = {});
    int rowCount() const { return static_cast<int>(m_rows.size()); }
    void reset() { m_rows.clear(); }

    // Column number of a name, 0 when the definition has no such column.
    int columnNumber(const QString& name) const;

    QVariant item(int row, int column) const;
    QVariant item(int row, const QString& column) const { return item(row, columnNumber(column)); }
    bool isNull(int row, int column) const { return item(row, column).isNull(); }
    bool isNull(int row, const QString& column) const { return item(row, column).isNull(); }

    // A text value; an SQL NULL gives a null string (no value only for a bad row or column).
    std::optional<QString> getItemString(int row, int column) const;
    std::optional<QString> getItemString(int row, const QString& column) const {
        return getItemString(row, columnNumber(column));
    }
    // A whole number; no value for NULL or a value that is not a whole number.
    std::optional<qint64> getItemNumber(int row, int column) const;
    std::optional<qint64> getItemNumber(int row, const QString& column) const {
        return getItemNumber(row, columnNumber(column));
    }
    // A decimal number; no value for NULL or a value that is not a number.
    std::optional<double> getItemDecimal(int row, int column) const;
    std::optional<double> getItemDecimal(int row, const QString& column) const {
        return getItemDecimal(row, columnNumber(column));
    }
    // Bytes of a binary column; a null QByteArray for NULL.
    std::optional<QByteArray> getItemBytes(int row, int column) const;
    std::optional<QByteArray> getItemBytes(int row, const QString& column) const {
        return getItemBytes(row, columnNumber(column));
    }

    // Sorts the rows by a sort text like the definition's; false (and nothing changed) when it
    // names a column the definition does not have.
    bool sortBy(const QString& sort);

private:
    DataStoreDefinition m_definition;
    Transaction* m_transaction = nullptr;
    QList<QVariantList> m_rows;
};

} // namespace tarnlow
