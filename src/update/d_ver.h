#pragma once

#include "db/data_store.h"
#include "host/result.h"

#include <QList>
#include <QString>

namespace tarnlow {

class Transaction;

// One stored program file of T_SYS_VER, as the version check lists it (without its bytes).
struct VersionRow {
    QString versionNumber; // ver_no exactly as the database returns it (fixed-width text may be padded)
    qint32 componentNumber = 0;
    qint32 updateIndex = 0;
    QString fileName; // file_name exactly as the database returns it
};

// The query of the version check: every stored file of a component newer than `installedComponent`,
// ordered by component number, then running index (then version number, so two packages that share a
// component number come back in the same order every time). Processing in this order means a newer
// component's file always replaces an older one of the same name, and the last row holds the highest
// component.
inline const QString kVersionListQuery = QStringLiteral(
    "SELECT t_sys_ver.ver_no, t_sys_ver.comp_no, t_sys_ver.update_index, t_sys_ver.file_name FROM t_sys_ver "
    "WHERE t_sys_ver.comp_no > ? ORDER BY t_sys_ver.comp_no, t_sys_ver.update_index, t_sys_ver.ver_no");

// Fetches one file's bytes by the whole primary key, so two packages with the same component number
// never hand out each other's files.
inline const QString kVersionBlobQuery =
    QStringLiteral("SELECT file_blob FROM t_sys_ver WHERE ver_no = ? AND comp_no = ? AND update_index = ?");

// The data store definition of the version check: columns ver_no, comp_no, update_index,
// file_name; one retrieval argument, comp_id.
DataStoreDefinition d_ver();

// Retrieves d_ver with `installedComponent` as comp_id. An error carries the database's text.
Result<QList<VersionRow>> retrieveVersionRows(Transaction& sqlca, qint32 installedComponent);

} // namespace tarnlow
