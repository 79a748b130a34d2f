#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

namespace tarnlow {

// A read-only table of text rows under fixed column names, for the data lists of a window.
class RowTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit RowTableModel(QStringList columns, QObject* parent = nullptr);

    void setRows(QList<QStringList> rows);
    void appendRow(const QStringList& row);
    void clear() { setRows({}); }
    const QList<QStringList>& rows() const { return m_rows; }
    const QStringList& columns() const { return m_columns; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QStringList m_columns;
    QList<QStringList> m_rows;
};

} // namespace tarnlow
