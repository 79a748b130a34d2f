#include "db/data_store.h"

#include "db/transaction.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace tarnlow {
namespace {

// Orders two values of one column: NULL first, numbers as numbers, everything else as text.
int compareValues(const QVariant& left, const QVariant& right) {
    if (left.isNull() || right.isNull())
        return left.isNull() == right.isNull() ? 0 : (left.isNull() ? -1 : 1);
    bool leftNumber = false;
    bool rightNumber = false;
    const double a = left.toDouble(&leftNumber);
    const double b = right.toDouble(&rightNumber);
    if (leftNumber && rightNumber)
        return a < b ? -1 : (a > b ? 1 : 0);
    return QString::compare(left.toString(), right.toString());
}

} // namespace

DataStore::DataStore(DataStoreDefinition definition)
    : m_definition(std::move(definition)) {}

int DataStore::columnNumber(const QString& name) const {
    for (qsizetype i = 0; i < m_definition.columns.size(); ++i) {
        if (m_definition.columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i + 1);
    }
    return 0;
}

Result<int> DataStore::retrieve(const QVariantList& arguments) {
    if (!m_transaction)
        return Error{QStringLiteral("data store %1 has no transaction object").arg(m_definition.name)};
    if (arguments.size() != m_definition.arguments.size())
        return Error{QStringLiteral("data store %1 takes %2 retrieval arguments, %3 were given")
                         .arg(m_definition.name)
                         .arg(m_definition.arguments.size())
                         .arg(arguments.size())};
    std::optional<QList<QVariantList>> rows = m_transaction->selectAll(m_definition.selectText, arguments);
    if (!rows) {
        if (m_transaction->SQLErrText.isEmpty())
            return Error{QStringLiteral("the select of data store %1 failed (SQL code %2)")
                             .arg(m_definition.name)
                             .arg(m_transaction->SQLCode)};
        return Error{m_transaction->SQLErrText};
    }
    for (const QVariantList& row : *rows) {
        if (row.size() != m_definition.columns.size())
            return Error{QStringLiteral("data store %1 defines %2 columns, its select returns %3")
                             .arg(m_definition.name)
                             .arg(m_definition.columns.size())
                             .arg(row.size())};
    }
    m_rows = std::move(*rows);
    if (!m_definition.sort.trimmed().isEmpty() && !sortBy(m_definition.sort)) {
        m_rows.clear();
        return Error{QStringLiteral("data store %1 sorts by a column it does not have: %2")
                         .arg(m_definition.name, m_definition.sort)};
    }
    return rowCount();
}

bool DataStore::sortBy(const QString& sort) {
    struct Key {
        int column;
        bool descending;
    };
    std::vector<Key> keys;
    const QStringList parts = sort.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        const QStringList words = part.simplified().split(QLatin1Char(' '));
        const int column = columnNumber(words.value(0));
        const QString direction = words.value(1).toUpper();
        if (column == 0 || words.size() > 2 ||
            !(direction.isEmpty() || direction == QLatin1String("A") || direction == QLatin1String("D")))
            return false;
        keys.push_back({column - 1, direction == QLatin1String("D")});
    }
    std::stable_sort(m_rows.begin(), m_rows.end(), [&keys](const QVariantList& a, const QVariantList& b) {
        for (const Key& key : keys) {
            const int order = compareValues(a.at(key.column), b.at(key.column));
            if (order != 0)
                return key.descending ? order > 0 : order < 0;
        }
        return false;
    });
    return true;
}

QVariant DataStore::item(int row, int column) const {
    if (row < 1 || row > rowCount() || column < 1 || column > m_definition.columns.size())
        return {};
    return m_rows.at(row - 1).at(column - 1);
}

std::optional<QString> DataStore::getItemString(int row, int column) const {
    if (row < 1 || row > rowCount() || column < 1 || column > m_definition.columns.size())
        return std::nullopt;
    const QVariant value = item(row, column);
    if (value.isNull())
        return QString();
    return value.toString();
}

std::optional<qint64> DataStore::getItemNumber(int row, int column) const {
    const QVariant value = item(row, column);
    if (value.isNull())
        return std::nullopt;
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    if (ok)
        return number;
    // Decimal columns arrive as text or floating point; a whole value among them still counts.
    const double decimal = value.toDouble(&ok);
    if (ok && decimal == static_cast<double>(static_cast<qint64>(decimal)))
        return static_cast<qint64>(decimal);
    return std::nullopt;
}

std::optional<double> DataStore::getItemDecimal(int row, int column) const {
    const QVariant value = item(row, column);
    if (value.isNull())
        return std::nullopt;
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok ? std::optional<double>(number) : std::nullopt;
}

std::optional<QByteArray> DataStore::getItemBytes(int row, int column) const {
    if (row < 1 || row > rowCount() || column < 1 || column > m_definition.columns.size())
        return std::nullopt;
    return bytesFromColumnValue(item(row, column));
}

} // namespace tarnlow
