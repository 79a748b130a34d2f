#include "tools/row_table_model.h"

namespace tarnlow {

RowTableModel::RowTableModel(QStringList columns, QObject* parent)
    : QAbstractTableModel(parent)
    , m_columns(std::move(columns)) {}

void RowTableModel::setRows(QList<QStringList> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void RowTableModel::appendRow(const QStringList& row) {
    const int at = static_cast<int>(m_rows.size());
    beginInsertRows({}, at, at);
    m_rows.append(row);
    endInsertRows();
}

int RowTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int RowTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant RowTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const QString text = m_rows.at(index.row()).value(index.column());
    if (role == Qt::ToolTipRole)
        return text;
    // A server's text may run over several lines; a cell shows it on one.
    if (role == Qt::DisplayRole)
        return text.simplified();
    return {};
}

QVariant RowTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_columns.value(section);
    return section + 1;
}

} // namespace tarnlow
