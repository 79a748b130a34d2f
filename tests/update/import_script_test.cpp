#include "import_fixture.h"

#include "db/dialect.h"
#include "update/import_engine.h"

#include <gtest/gtest.h>

namespace tarnlow {
namespace {

using test::Backend;
using test::PackageFileSpec;

// Package scripts of several statements, as packages that add a table and fill it carry them.
class ImportScriptTest : public test::VersionTableTest {
protected:
    ImportReport importScript(const QByteArray& version, const QByteArray& script) {
        const QByteArray package = test::buildPackage(
            version, "001", {PackageFileSpec{"a.bin", "abc"}, std::nullopt, std::nullopt, std::nullopt},
            script);
        const QString name = QStringLiteral("p%1.fuf").arg(QString::fromLatin1(version));
        EXPECT_TRUE(database->scratch().write(name, package));
        return importPackage(sqlca, database->scratch().file(name));
    }

    bool tableExists(const QString& table) {
        const auto row = sqlca.selectInto(sqlca.dialect().tableExistsQuery(), {table});
        return row && row->at(0).toLongLong() > 0;
    }
};

TEST_P(ImportScriptTest, ScriptOfSeveralStatementsRunsWholeBeforeTheFilesAreStored) {
    const ImportReport report = importScript("01", "create table a ( x int );\n"
                                                   "insert into a values ( 1 );\n"
                                                   "insert into a values ( 2 );\n");
    ASSERT_EQ(report.result, ImportResult::Stored)
        << (report.failure ? report.failure->parameters.join(QStringLiteral(" | ")).toStdString() : "");
    const auto sum = sqlca.selectInto(QStringLiteral("select count(*), sum(x) from a"));
    ASSERT_TRUE(sum.has_value()) << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(sum->at(0).toInt(), 2);
    EXPECT_EQ(sum->at(1).toInt(), 3);
    EXPECT_EQ(test::storedRows(sqlca).size(), 1);
}

TEST_P(ImportScriptTest, StatementFailingMidwayUndoesTheStatementsBeforeIt) {
    const ImportReport report = importScript(
        "02", "create table a ( x int ); insert into a values ( 1 ); insert into nosuch values ( 2 )");
    EXPECT_EQ(report.result, ImportResult::Failed);
    ASSERT_TRUE(report.failure.has_value());
    EXPECT_EQ(report.failure->number, kMsgImportScriptFailed);
    EXPECT_TRUE(report.failure->parameters.value(1).contains(QStringLiteral("nosuch")))
        << report.failure->parameters.value(1).toStdString();
    EXPECT_FALSE(sqlca.inTransaction());
    EXPECT_FALSE(tableExists(QStringLiteral("a")));
    EXPECT_TRUE(test::storedRows(sqlca).isEmpty());
}

TEST_P(ImportScriptTest, ScriptThatControlsTransactionsOrHoldsAZeroByteIsRefusedBeforeAnythingRuns) {
    ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("create table a ( x int )")), kSqlSuccess);
    const QList<QByteArray> scripts = {
        "insert into a values ( 1 ); commit; insert into a values ( 2 )",
        "insert into a values ( 1 ); rollback",
        "savepoint s; insert into a values ( 1 ); release s",
        "begin; insert into a values ( 1 ); end",
        QByteArray("insert into a values ( 1 );\0insert into a values ( 2 )", 55),
    };
    int version = 10;
    for (const QByteArray& script : scripts) {
        const ImportReport report = importScript(QByteArray::number(version++), script);
        EXPECT_EQ(report.result, ImportResult::Failed) << script.constData();
        ASSERT_TRUE(report.failure.has_value()) << script.constData();
        // Refused for every database (10300), or for the one connected (10308).
        EXPECT_TRUE(report.failure->number == kMsgImportPackageRefused ||
                    report.failure->number == kMsgImportScriptRefusedHere)
            << script.constData() << ": " << report.failure->number;
        EXPECT_FALSE(report.scriptRan);
        EXPECT_FALSE(sqlca.inTransaction());
    }
    const auto count = sqlca.selectInto(QStringLiteral("select count(*) from a"));
    ASSERT_TRUE(count.has_value()) << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(count->at(0).toInt(), 0);
    EXPECT_TRUE(test::storedRows(sqlca).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportScriptTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const ::testing::TestParamInfo<Backend>& backend) {
                             return test::backendName(backend.param);
                         });

} // namespace
} // namespace tarnlow
