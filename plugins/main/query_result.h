#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace tarnlow {

class Transaction;

// What one statement of the query window came to.
struct QueryOutcome {
    bool ok = false;
    QString error;        // the server's text when the statement failed
    bool hasRows = false; // the statement produced a result set (its rows may be none)
    QStringList columns;  // the result set's column names
    QList<QVariantList> rows;
    bool rowsLeftOut = false; // the result set had more rows than the limit; only the first are kept
    qint64 affectedRows = 0;  // for a statement without a result set
};

// Runs one statement text on the program's connection and keeps at most rowLimit rows of its
// result, reading no further than one row past the limit.
QueryOutcome runQuery(Transaction& sqlca, const QString& statement, int rowLimit);

// The rows of a query outcome for a table view.
class QueryResultModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    void setOutcome(const QueryOutcome& outcome);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QStringList m_columns;
    QList<QVariantList> m_rows;
};

} // namespace tarnlow
