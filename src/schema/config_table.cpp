#include "schema/config_table.h"

#include "db/transaction.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace tarnlow {
namespace {

QString withoutTrailingBlanks(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

// An empty text is stored as NULL, as a row without a value has always been.
QVariant storedText(const QString& text) {
    return text.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(text);
}

bool sameType(const QString& a, const QString& b) {
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

const ConfigRow* findType(const QList<ConfigRow>& rows, const QString& type) {
    for (const ConfigRow& row : rows) {
        if (sameType(row.type, type))
            return &row;
    }
    return nullptr;
}

NumberedMessage notSaved(const QString& reason) {
    return NumberedMessage{kMessageConfigNotSaved, {reason}};
}

} // namespace

Result<QList<ConfigRow>> readConfigRows(Transaction& sqlca) {
    const std::optional<QList<QVariantList>> rows = sqlca.selectAll(
        QStringLiteral("select conf_type, conf_value, conf_remark from t_sys_config order by conf_type"));
    if (!rows)
        return Error{sqlca.SQLErrText};
    QList<ConfigRow> result;
    for (const QVariantList& row : *rows)
        result.append(ConfigRow{withoutTrailingBlanks(row.value(0).toString()),
                                withoutTrailingBlanks(row.value(1).toString()),
                                withoutTrailingBlanks(row.value(2).toString())});
    return result;
}

QStringList missingLibraries(const QString& libraries, const QString& programFolder) {
    QStringList missing;
    for (const QString& raw : libraries.split(QLatin1Char(','))) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty())
            continue;
        const QString path = QDir::isAbsolutePath(entry) ? entry : QDir(programFolder).filePath(entry);
        if (!QFileInfo(path).isFile())
            missing.append(entry);
    }
    return missing;
}

std::optional<NumberedMessage> configRowsProblem(const QList<ConfigRow>& original,
                                                 const QList<ConfigRow>& edited,
                                                 const QString& programFolder) {
    QSet<QString> types;
    for (qsizetype i = 0; i < edited.size(); ++i) {
        const ConfigRow& row = edited.at(i);
        const QString type = row.type.trimmed();
        if (type.isEmpty() || type.size() > kConfigTypeWidth || row.value.size() > kConfigTextWidth ||
            row.remark.size() > kConfigTextWidth)
            return NumberedMessage{kMessageConfigRowRefused, {QString::number(i + 1)}};
        if (types.contains(type.toUpper()))
            return NumberedMessage{kMessageConfigTypeTwice, {type}};
        types.insert(type.toUpper());
    }

    // The marker decides whether the next start re-creates the tables: it stays as the program set it.
    const ConfigRow* markerBefore = findType(original, kConfigFirstRun);
    const ConfigRow* markerAfter = findType(edited, kConfigFirstRun);
    if ((markerBefore == nullptr) != (markerAfter == nullptr) ||
        (markerBefore != nullptr && !(*markerBefore == *markerAfter)))
        return NumberedMessage{kMessageConfigFirstRunKept, {}};

    const ConfigRow* librariesBefore = findType(original, kConfigLibraries);
    const ConfigRow* librariesAfter = findType(edited, kConfigLibraries);
    if (librariesAfter != nullptr &&
        (librariesBefore == nullptr || librariesBefore->value != librariesAfter->value)) {
        const QStringList missing = missingLibraries(librariesAfter->value, programFolder);
        if (!missing.isEmpty())
            return NumberedMessage{
                kMessageConfigLibrariesMissing,
                {QDir::toNativeSeparators(programFolder), missing.join(QStringLiteral(", "))}};
    }
    return std::nullopt;
}

Result<ConfigChanges, NumberedMessage> saveConfigRows(Transaction& sqlca, const QList<ConfigRow>& original,
                                                      const QList<ConfigRow>& edited) {
    QHash<QString, ConfigRow> before;
    for (const ConfigRow& row : original)
        before.insert(row.type.trimmed(), row);
    QSet<QString> kept;
    for (const ConfigRow& row : edited)
        kept.insert(row.type.trimmed());

    // A connection without autocommit is already inside a transaction; the work joins it.
    const bool ownTransaction = !sqlca.inTransaction();
    if (ownTransaction && sqlca.begin() != kSqlSuccess)
        return notSaved(sqlca.SQLErrText);
    const auto fail = [&sqlca,
                       ownTransaction](const QString& reason) -> Result<ConfigChanges, NumberedMessage> {
        if (ownTransaction)
            sqlca.rollback();
        return notSaved(reason);
    };
    // A row someone else removed meanwhile is not silently brought back or left out.
    const auto rowGone = [&sqlca](const QString& type) {
        return sqlca.SQLNRows == 0 ? QStringLiteral("the row %1 is no longer in T_SYS_CONFIG; load the rows "
                                                    "again")
                                         .arg(type)
                                   : QString();
    };

    ConfigChanges changes;
    for (const ConfigRow& row : original) {
        const QString type = row.type.trimmed();
        if (kept.contains(type))
            continue;
        if (sqlca.execute(QStringLiteral("delete from t_sys_config where conf_type = ?"), {type}) !=
            kSqlSuccess)
            return fail(sqlca.SQLErrText);
        if (const QString gone = rowGone(type); !gone.isEmpty())
            return fail(gone);
        ++changes.deleted;
    }
    for (const ConfigRow& row : edited) {
        const QString type = row.type.trimmed();
        const auto old = before.constFind(type);
        if (old == before.cend()) {
            if (sqlca.execute(QStringLiteral("insert into t_sys_config (conf_type, conf_value, conf_remark) "
                                             "values (?, ?, ?)"),
                              {type, storedText(row.value), storedText(row.remark)}) != kSqlSuccess)
                return fail(sqlca.SQLErrText);
            ++changes.added;
            continue;
        }
        if (old->value == row.value && old->remark == row.remark)
            continue;
        if (sqlca.execute(
                QStringLiteral("update t_sys_config set conf_value = ?, conf_remark = ? where conf_type = ?"),
                {storedText(row.value), storedText(row.remark), type}) != kSqlSuccess)
            return fail(sqlca.SQLErrText);
        if (const QString gone = rowGone(type); !gone.isEmpty())
            return fail(gone);
        ++changes.changed;
    }
    if (ownTransaction && sqlca.commit() != kSqlSuccess)
        return notSaved(sqlca.SQLErrText);
    return changes;
}

} // namespace tarnlow
