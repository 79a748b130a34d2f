#pragma once

#include "../db/database_backends.h"
#include "package_bytes.h"

#include "db/transaction.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tarnlow::test {

// One file entry of a test package; an entry without a value stays blank.
struct PackageFileSpec {
    QByteArray name; // up to 32 bytes; padded with blanks in the header
    QByteArray bytes;
};

// Package bytes laid out field by field: the used entries back to back from position 257, then
// the script.
inline QByteArray buildPackage(const QByteArray& version, const QByteArray& component,
                               const std::array<std::optional<PackageFileSpec>, 4>& files,
                               const QByteArray& script = {}) {
    std::array<QByteArray, 4> entries;
    QByteArray data;
    qint64 position = 257;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i]) {
            entries[i] = blankEntry();
            continue;
        }
        const qint64 size = files[i]->bytes.size();
        entries[i] = usedEntry(position, position + size - 1, files[i]->name);
        data += files[i]->bytes;
        position += size;
    }
    const qint64 sqlStart = script.isEmpty() ? 0 : position;
    return headerBytes(version, component, entries, sqlStart) + data + script;
}

// The T_SYS_VER table as the system keeps it, created directly so that these tests depend on
// nothing but the transaction object.
inline int createVersionTable(Transaction& sqlca, const QString& binaryType) {
    return sqlca.executeImmediate(
        QStringLiteral("CREATE TABLE t_sys_ver ( ver_no char(10) NOT NULL, comp_no int NOT NULL, "
                       "update_index int NOT NULL, file_name char(255) NOT NULL, file_blob %1 NULL, "
                       "PRIMARY KEY ( ver_no, comp_no, update_index ) )")
            .arg(binaryType));
}

struct StoredRow {
    QString version;
    int component = 0;
    int updateIndex = 0;
    QString name;
    QByteArray bytes;
};

// Every row of T_SYS_VER in key order.
inline QList<StoredRow> storedRows(Transaction& sqlca) {
    QList<StoredRow> rows;
    const auto all = sqlca.selectAll(
        QStringLiteral("select ver_no, comp_no, update_index, file_name, file_blob from t_sys_ver "
                       "order by ver_no, comp_no, update_index"));
    if (!all)
        return rows;
    for (const QVariantList& row : *all)
        rows.append(StoredRow{row.at(0).toString(), row.at(1).toInt(), row.at(2).toInt(),
                              row.at(3).toString(), row.at(4).toByteArray()});
    return rows;
}

} // namespace tarnlow::test
