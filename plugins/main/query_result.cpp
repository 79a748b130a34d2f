#include "query_result.h"

#include "db/transaction.h"

#include <QColor>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace tarnlow {
namespace {

QString serverText(const QSqlError& error) {
    const QString database = error.databaseText().trimmed();
    const QString driver = error.driverText().trimmed();
    if (database.isEmpty())
        return driver;
    if (driver.isEmpty() || database.contains(driver))
        return database;
    return database + QStringLiteral(" (") + driver + QLatin1Char(')');
}

} // namespace

QueryOutcome runQuery(Transaction& sqlca, const QString& statement, int rowLimit) {
    QueryOutcome outcome;
    if (!sqlca.isConnected()) {
        outcome.error = QStringLiteral("not connected to a database");
        return outcome;
    }
    std::optional<QSqlQuery> executed = sqlca.executeForRows(statement);
    if (!executed) {
        outcome.error = sqlca.SQLErrText;
        return outcome;
    }
    QSqlQuery& query = *executed;
    outcome.ok = true;
    outcome.hasRows = query.isSelect();
    if (!outcome.hasRows) {
        outcome.affectedRows = query.numRowsAffected();
        return outcome;
    }
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i)
        outcome.columns.append(record.fieldName(i));
    while (query.next()) {
        if (outcome.rows.size() >= rowLimit) {
            outcome.rowsLeftOut = true;
            break;
        }
        QVariantList row;
        row.reserve(record.count());
        for (int i = 0; i < record.count(); ++i)
            row.append(query.value(i));
        outcome.rows.append(std::move(row));
    }
    if (!outcome.rowsLeftOut && query.lastError().isValid()) {
        outcome.ok = false;
        outcome.error = serverText(query.lastError());
    }
    return outcome;
}

void QueryResultModel::setOutcome(const QueryOutcome& outcome) {
    beginResetModel();
    m_columns = outcome.columns;
    m_rows = outcome.rows;
    endResetModel();
}

int QueryResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int QueryResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant QueryResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const QVariant& value = m_rows.at(index.row()).value(index.column());
    if (role == Qt::DisplayRole) {
        if (value.isNull())
            return QStringLiteral("NULL");
        if (value.typeId() == QMetaType::QByteArray)
            return QStringLiteral("(%1 bytes)").arg(value.toByteArray().size());
        return value;
    }
    if (role == Qt::ForegroundRole && value.isNull())
        return QColor(Qt::gray);
    if (role == Qt::TextAlignmentRole) {
        const int type = value.typeId();
        const bool number = type == QMetaType::Int || type == QMetaType::LongLong ||
                            type == QMetaType::Double || type == QMetaType::UInt ||
                            type == QMetaType::ULongLong;
        return number ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    }
    return {};
}

QVariant QueryResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_columns.value(section);
    return section + 1;
}

} // namespace tarnlow
