#pragma once

#include "db/transaction.h"
#include "support/database_backends.h"
#include "support/package_bytes.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <gtest/gtest.h>

namespace tarnlow::test {

// The T_SYS_VER table as the system keeps it, created directly so that these tests depend on
// nothing but the transaction object.
inline int createVersionTable(Transaction& sqlca, const QString& binaryType) {
    return sqlca.executeImmediate(
        QStringLiteral("CREATE TABLE t_sys_ver ( ver_no char(10) NOT NULL, comp_no int NOT NULL, "
                       "update_index int NOT NULL, file_name char(255) NOT NULL, file_blob %1 NULL, "
                       "PRIMARY KEY ( ver_no, comp_no, update_index ) )")
            .arg(binaryType));
}

// A connected backend database that holds an empty T_SYS_VER table.
class VersionTableTest : public ConnectedBackendTest {
protected:
    void SetUp() override {
        ConnectedBackendTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        ASSERT_EQ(createVersionTable(sqlca, database->binaryType()), kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
    }
};

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
