#include "update/d_ver.h"

#include "db/transaction.h"

#include <limits>

namespace tarnlow {
namespace {

// Component numbers and indexes are 32-bit integer columns; anything else is a damaged row.
std::optional<qint32> integerColumn(const std::optional<qint64>& value) {
    if (!value || *value < std::numeric_limits<qint32>::min() || *value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(*value);
}

} // namespace

DataStoreDefinition d_ver() {
    return DataStoreDefinition{
        QStringLiteral("d_ver"),
        kVersionListQuery,
        {QStringLiteral("ver_no"), QStringLiteral("comp_no"), QStringLiteral("update_index"),
         QStringLiteral("file_name")},
        QString(),
        {QStringLiteral("comp_id")},
    };
}

Result<QList<VersionRow>> retrieveVersionRows(Transaction& sqlca, qint32 installedComponent) {
    DataStore ids_ver(d_ver());
    ids_ver.setTransaction(&sqlca);
    if (const Result<int> retrieved = ids_ver.retrieve({QVariant(installedComponent)}); !retrieved)
        return Error{retrieved.error()};
    QList<VersionRow> result;
    result.reserve(ids_ver.rowCount());
    for (int row = 1; row <= ids_ver.rowCount(); ++row) {
        const auto component = integerColumn(ids_ver.getItemNumber(row, 2));
        const auto index = integerColumn(ids_ver.getItemNumber(row, 3));
        if (!component || !index)
            return Error{
                QStringLiteral("t_sys_ver holds a row whose comp_no \"%1\" or update_index \"%2\" is not "
                               "a whole number")
                    .arg(ids_ver.item(row, 2).toString(), ids_ver.item(row, 3).toString())};
        result.append(VersionRow{ids_ver.getItemString(row, 1).value_or(QString()), *component, *index,
                                 ids_ver.getItemString(row, 4).value_or(QString())});
    }
    return result;
}

} // namespace tarnlow
