#pragma once

#include "db/connection_parameters.h"
#include "db/transaction.h"
#include "support/database_backends.h"

#include <QMap>
#include <QString>

#include <gtest/gtest.h>

namespace tarnlow::test {

// The stock table as the data source keeps it, with a rule that refuses negative quantities so
// that a test can make one row fail. Rows of store 0104 and of store 0200.
inline int createStockTable(Transaction& sqlca) {
    return sqlca.executeImmediate(QStringLiteral(
        "CREATE TABLE strivmst ( short_sku varchar(20) NOT NULL, store char(4) NOT NULL, "
        "clos_stk_qty numeric(12,3) NOT NULL CONSTRAINT strivmst_qty_not_negative CHECK (clos_stk_qty >= 0), "
        "clos_stk_cost numeric(14,4), str_last_avg_cost numeric(12,4), PRIMARY KEY (short_sku, store) ); "
        "INSERT INTO strivmst VALUES ('A1', '0104', 5, 50, 10); "
        "INSERT INTO strivmst VALUES ('B2', '0104', 1, 2.5, 2.5); "
        "INSERT INTO strivmst VALUES ('C3', '0104', 0, 0, 4); "
        "INSERT INTO strivmst VALUES ('A1', '0200', 7, 70, 10); "
        "INSERT INTO strivmst VALUES ('C3', '0200', 9, 36, 4)"));
}

// A stock file that writes A1 and C3, makes B2 fail the rule and names a key no row has.
inline const QByteArray kStockFile = "strivmst_short_sku,strivmst_clos_stk_qty\n"
                                     "A1,3\n"
                                     "B2,-1\n"
                                     "C3,2.5\n"
                                     "ZZ,4\n";

// (quantity, cost) of each row, keyed "sku/store".
inline QMap<QString, std::pair<double, double>> stockValues(Transaction& sqlca) {
    QMap<QString, std::pair<double, double>> values;
    const auto rows = sqlca.selectAll(
        QStringLiteral("select short_sku, store, clos_stk_qty, clos_stk_cost from strivmst order by 1, 2"));
    EXPECT_TRUE(rows.has_value()) << sqlca.SQLErrText.toStdString();
    if (!rows)
        return values;
    for (const QVariantList& row : *rows)
        values.insert(row.at(0).toString().trimmed() + QLatin1Char('/') + row.at(1).toString().trimmed(),
                      {row.at(2).toDouble(), row.at(3).toDouble()});
    return values;
}

inline QMap<QString, std::pair<double, double>> initialStockValues() {
    return {{QStringLiteral("A1/0104"), {5, 50}},
            {QStringLiteral("A1/0200"), {7, 70}},
            {QStringLiteral("B2/0104"), {1, 2.5}},
            {QStringLiteral("C3/0104"), {0, 0}},
            {QStringLiteral("C3/0200"), {9, 36}}};
}

// What kStockFile leaves behind once committed.
inline QMap<QString, std::pair<double, double>> updatedStockValues() {
    auto values = initialStockValues();
    values[QStringLiteral("A1/0104")] = {3, 30};
    values[QStringLiteral("C3/0104")] = {2.5, 10};
    return values;
}

// The whole ODBC connect string of an ODBC backend, as an operator would type it.
inline QString odbcConnectString(const BackendDatabase& database) {
    if (database.backend() == Backend::OdbcSqlite)
        return QStringLiteral("Driver={%1};Database=%2")
            .arg(kOdbcSqliteDriver, odbcConnectValue(database.databaseName()));
    const PostgresServer& server = *database.server();
    return QStringLiteral("Driver={%1};Server=%2;Port=%3;Database=%4;UID=%5;PWD=%6")
        .arg(kOdbcPostgresDriver, server.host)
        .arg(database.port())
        .arg(database.databaseName(), server.user, odbcConnectValue(server.password));
}

// A second, independent connection to the backend's database.
inline bool connectSecond(const BackendDatabase& database, Transaction& second) {
    database.configure(second);
    return second.connect() == kSqlSuccess;
}

} // namespace tarnlow::test
