#include "db/odbc_seam.h"
#include "import_fixture.h"
#include "update/import_engine.h"
#include "update/update_script_runner.h"

#include <gtest/gtest.h>

#include <memory>

namespace tarnlow {
namespace {

using test::Backend;

// SQL Server's texts of the statements the import sends around a script.
const QString kSqlServerLock = QStringLiteral(
    "DECLARE @result int; EXEC @result = sp_getapplock @Resource = 'tarnlow_as.import', @LockMode = "
    "'Exclusive', @LockOwner = 'Transaction', @LockTimeout = 30000; IF @result < 0 RAISERROR('application "
    "lock tarnlow_as.import not granted', 16, 1)");
const QString kDepth = QStringLiteral("SELECT @@TRANCOUNT");
const QString kDuplicateCheck =
    QStringLiteral("select count ( *) from t_sys_ver where ver_no = ? and comp_NO = ? ");
const QString kInsert =
    QStringLiteral("INSERT INTO t_sys_ver (VER_NO, COMP_NO, UPDATE_INDEX, FILE_NAME, FILE_BLOB) "
                   "VALUES (...) with 3 bytes in pieces");
const QString kRowCheck =
    QStringLiteral("select count ( *) from t_sys_ver where ver_no = ? and comp_NO = ? and update_index = ? ");
const QString kTableExists =
    QStringLiteral("SELECT count(*) FROM sysobjects WHERE type = 'U' AND lower(name) = ?");

// The import on SQL Server, played on the ODBC drivers that run here. The seam names the database
// system as SQL Server's driver does, hands the driver its own text for the two statements only
// SQL Server understands (the application lock, the catalog query, and SELECT @@TRANCOUNT,
// answered with the depth the test chooses), and with `noCount` reports -1 rows as SQL Server does
// under SET NOCOUNT ON.
// Everything else (the batches, the rows, commit and rollback) runs for real.
class SqlServerImportTest : public test::VersionTableTest {
protected:
    void playSqlServer() {
        OdbcSeam seam;
        seam.dbmsName = [](const QString&) { return QStringLiteral("Microsoft SQL Server"); };
        seam.statementText = [this](const QString& sql) {
            if (sql == kDepth)
                return QStringLiteral("SELECT %1").arg(depths.value(depthsAsked++, 1));
            if (sql == kSqlServerLock)
                return GetParam() == Backend::OdbcPostgres
                           ? QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('tarnlow_as.import'))")
                           : QStringLiteral("SELECT 1");
            if (sql == kRowCheck && !rowFound)
                return QStringLiteral("SELECT 0");
            if (sql == kTableExists)
                return GetParam() == Backend::OdbcPostgres
                           ? QStringLiteral("SELECT count(*) FROM pg_catalog.pg_class WHERE relname = ?")
                           : QStringLiteral("SELECT count(*) FROM sqlite_master WHERE lower(name) = ?");
            return sql;
        };
        seam.rowCount = [this](const QString&, qint64 reported) { return noCount ? -1 : reported; };
        played.reset();
        played = std::make_unique<ScopedOdbcSeam>(seam);
        sent.clear();
        sqlca.statementObserver = [this](const QString& sql) { sent.append(sql); };
    }

    ImportReport importScript(const QByteArray& script) {
        const QByteArray package = test::buildPackage(
            "01", "007", {test::PackageFileSpec{"a.bin", "abc"}, std::nullopt, std::nullopt, std::nullopt},
            script);
        EXPECT_TRUE(database->scratch().write(QStringLiteral("p.fuf"), package));
        return importPackage(sqlca, database->scratch().file(QStringLiteral("p.fuf")));
    }

    bool tableExists(const QString& table) {
        sqlca.statementObserver = {};
        const auto row = sqlca.selectInto(QStringLiteral("select count(*) from %1").arg(table));
        return row.has_value();
    }

    static std::string failureOf(const ImportReport& report) {
        return report.failure ? QString::number(report.failure->number).toStdString() + ": " +
                                    report.failure->parameters.join(QStringLiteral(" | ")).toStdString()
                              : std::string();
    }

    QList<qint64> depths; // the answers to SELECT @@TRANCOUNT, in turn (1 when the list runs out)
    int depthsAsked = 0;
    bool noCount = false;
    bool rowFound = true;
    QStringList sent;
    std::unique_ptr<ScopedOdbcSeam> played;
};

TEST_P(SqlServerImportTest, BatchesRunOneAfterAnotherInTheImportsTransaction) {
    playSqlServer();
    noCount = true;
    const ImportReport report = importScript("-- patch 7, as SQL Server's tools write it\n"
                                             "create table a ( x int )\n"
                                             "GO\n"
                                             "insert into a values ( 1 )\n"
                                             "go\n"
                                             "/* nothing but a comment */\n"
                                             "GO\n"
                                             "insert into a values ( 2 )\n");
    ASSERT_EQ(report.result, ImportResult::Stored) << failureOf(report);
    EXPECT_EQ(
        sent,
        (QStringList{kSqlServerLock, kDepth,
                     QStringLiteral("-- patch 7, as SQL Server's tools write it\ncreate table a ( x int )\n"),
                     QStringLiteral("\ninsert into a values ( 1 )\n"),
                     QStringLiteral("\ninsert into a values ( 2 )\n"), kDepth, kDuplicateCheck, kInsert,
                     kRowCheck, kTableExists}));
    const auto sum = sqlca.selectInto(QStringLiteral("select count(*), sum(x) from a"));
    ASSERT_TRUE(sum.has_value()) << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(sum->at(0).toInt(), 2);
    EXPECT_EQ(sum->at(1).toInt(), 3);
    EXPECT_EQ(test::storedRows(sqlca).size(), 1);
}

TEST_P(SqlServerImportTest, AFailingBatchRollsBackTheBatchesBeforeIt) {
    playSqlServer();
    const ImportReport report = importScript("create table a ( x int )\n"
                                             "GO\n"
                                             "insert into nosuch values ( 1 )\n"
                                             "GO\n"
                                             "insert into a values ( 2 )\n");
    ASSERT_EQ(report.result, ImportResult::Failed);
    ASSERT_TRUE(report.failure.has_value());
    EXPECT_EQ(report.failure->number, kMsgImportScriptFailed);
    EXPECT_TRUE(
        report.failure->parameters.value(1).startsWith(QStringLiteral("batch 2 of 3 (from line 3): ")))
        << failureOf(report);
    EXPECT_FALSE(sent.contains(QStringLiteral("\ninsert into a values ( 2 )\n")));
    EXPECT_FALSE(sqlca.inTransaction());
    EXPECT_FALSE(tableExists(QStringLiteral("a")));
    EXPECT_TRUE(test::storedRows(sqlca).isEmpty());
}

TEST_P(SqlServerImportTest, ATransactionEndedOrLeftOpenByTheScriptStoresNothing) {
    struct Case {
        QList<qint64> depths;
        int message;
    };
    for (const Case& one :
         {Case{{1, 0}, kMsgImportTransactionEnded}, Case{{1, 2}, kMsgImportTransactionLeftOpen},
          Case{{2, 1}, kMsgImportTransactionEnded}}) {
        playSqlServer();
        depths = one.depths;
        depthsAsked = 0;
        const ImportReport report =
            importScript("create table a ( x int )\nGO\ninsert into a values ( 1 )\n");
        ASSERT_EQ(report.result, ImportResult::Failed);
        ASSERT_TRUE(report.failure.has_value());
        EXPECT_EQ(report.failure->number, one.message) << failureOf(report);
        EXPECT_EQ(report.failure->parameters.mid(1),
                  (QStringList{QString::number(one.depths.at(0)), QString::number(one.depths.at(1))}));
        EXPECT_FALSE(sent.contains(kInsert));
        EXPECT_FALSE(sqlca.inTransaction());
        EXPECT_FALSE(tableExists(QStringLiteral("a")));
        EXPECT_TRUE(test::storedRows(sqlca).isEmpty());
    }
}

TEST_P(SqlServerImportTest, ARowTheDriverGaveNoCountForIsLookedFor) {
    playSqlServer();
    noCount = true;
    rowFound = false;
    const ImportReport report = importScript("create table a ( x int )\n");
    ASSERT_EQ(report.result, ImportResult::Failed);
    ASSERT_TRUE(report.failure.has_value());
    EXPECT_EQ(report.failure->number, kMsgImportStoreFailed);
    EXPECT_EQ(report.failure->parameters.value(2), QStringLiteral("the row was not stored"));
    EXPECT_TRUE(sent.endsWith(kRowCheck));
    EXPECT_TRUE(test::storedRows(sqlca).isEmpty());
    EXPECT_FALSE(tableExists(QStringLiteral("a")));
}

TEST_P(SqlServerImportTest, AScriptOnlySqlServerRefusesStopsBeforeAnythingRuns) {
    playSqlServer();
    const ImportReport report = importScript("create fulltext catalog item_names as default;\n");
    ASSERT_EQ(report.result, ImportResult::Failed);
    ASSERT_TRUE(report.failure.has_value());
    EXPECT_EQ(report.failure->number, kMsgImportScriptRefusedHere);
    EXPECT_EQ(report.failure->parameters.value(1), QStringLiteral("SQL Server"));
    EXPECT_TRUE(
        report.failure->parameters.value(2).startsWith(QStringLiteral("line 1, CREATE FULLTEXT CATALOG: ")))
        << failureOf(report);
    EXPECT_TRUE(sent.isEmpty());
}

TEST_P(SqlServerImportTest, TheDriversHereNameTheirOwnDatabase) {
    EXPECT_EQ(connectedScriptDialect(sqlca),
              GetParam() == Backend::OdbcPostgres ? ScriptDialect::PostgreSql : ScriptDialect::Sqlite)
        << sqlca.databaseSystemName().toStdString();
    // And a T-SQL script is refused there, before anything runs.
    const ImportReport report = importScript("create table a ( x int )\nGO\ninsert into a values ( 1 )\n");
    ASSERT_TRUE(report.failure.has_value());
    EXPECT_EQ(report.failure->number, kMsgImportScriptRefusedHere) << failureOf(report);
    EXPECT_TRUE(report.failure->parameters.value(2).startsWith(QStringLiteral("line 2, GO: ")))
        << failureOf(report);
    EXPECT_FALSE(tableExists(QStringLiteral("a")));

    playSqlServer();
    EXPECT_EQ(connectedScriptDialect(sqlca), ScriptDialect::SqlServer);
}

INSTANTIATE_TEST_SUITE_P(Odbc, SqlServerImportTest,
                         ::testing::Values(Backend::OdbcPostgres, Backend::OdbcSqlite),
                         test::backendTestName);

} // namespace
} // namespace tarnlow
