#include "stock_database.h"
#include "support/cli_process.h"

#include <gtest/gtest.h>

using namespace tarnlow;
using namespace tarnlow::test;

namespace {

class StockUpdateCommand : public ConnectedBackendTest {
protected:
    void SetUp() override {
        ConnectedBackendTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        ASSERT_EQ(createStockTable(sqlca), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    }
    QString file(const QString& name, const QByteArray& bytes) {
        EXPECT_TRUE(scratch.write(name, bytes));
        return scratch.file(name);
    }
    CliRun run(QStringList arguments) {
        return runCli(QStringList{QStringLiteral("stock-update")} + arguments, scratch.registryPath());
    }
    QStringList outLines(const CliRun& result) { return result.out.trimmed().split(QLatin1Char('\n')); }
    ScratchFolder scratch;
};

} // namespace

TEST_P(StockUpdateCommand, PrintsRowsFailuresAndSummaryAndWritesTheFailedList) {
    const QString out = scratch.file(QStringLiteral("failed.csv"));
    const CliRun result =
        run({file(QStringLiteral("stock.csv"), kStockFile), QStringLiteral("--connect-string"),
             odbcConnectString(*database), QStringLiteral("--failed"), out});
    EXPECT_EQ(result.exitCode, 1) << result.err.toStdString();
    const QStringList lines = outLines(result);
    ASSERT_EQ(lines.size(), 4) << result.out.toStdString();
    EXPECT_EQ(lines.at(0), QStringLiteral("rows: 4"));
    EXPECT_TRUE(lines.at(1).startsWith(QStringLiteral("failed: B2 (line 3): "))) << lines.at(1).toStdString();
    EXPECT_TRUE(lines.at(1).contains(QStringLiteral("strivmst_qty_not_negative")))
        << lines.at(1).toStdString();
    EXPECT_EQ(lines.at(2), QStringLiteral("no row: ZZ (line 5)"));
    EXPECT_EQ(lines.at(3), QStringLiteral("written and committed: 2 of 4 rows; 1 failed; 1 matched no row"));
    const QString failed = QString::fromUtf8(scratch.read(QStringLiteral("failed.csv")));
    EXPECT_TRUE(failed.startsWith(QStringLiteral("file_write,status,message\nB2,failed,")))
        << failed.toStdString();
    EXPECT_TRUE(failed.endsWith(QStringLiteral("ZZ,no row,\n"))) << failed.toStdString();
    EXPECT_EQ(stockValues(sqlca), updatedStockValues());
}

TEST_P(StockUpdateCommand, UnknownKeysFailOnlyWhenStrict) {
    const QString stock =
        file(QStringLiteral("stock.csv"), "strivmst_clos_stk_qty,strivmst_short_sku\n3,A1\n4,ZZ\n");
    const QString connect = odbcConnectString(*database);
    const CliRun lenient = run({stock, QStringLiteral("--connect-string=") + connect});
    EXPECT_EQ(lenient.exitCode, 0) << lenient.err.toStdString();
    EXPECT_TRUE(lenient.out.contains(QStringLiteral("no row: ZZ (line 3)")));
    const CliRun strict =
        run({stock, QStringLiteral("--strict"), QStringLiteral("--connect-string"), connect});
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_TRUE(strict.out.contains(QStringLiteral("1 matched no row")));
}

TEST_P(StockUpdateCommand, NoConnectionBadFileAndUsage) {
    const QString stock = file(QStringLiteral("stock.csv"), kStockFile);
    const CliRun unconnected = run({stock, QStringLiteral("--connect-string"),
                                    QStringLiteral("DSN=TarnlowNoSuchSource;UID=u;PWD=secret")});
    EXPECT_EQ(unconnected.exitCode, 1);
    EXPECT_TRUE(unconnected.err.contains(QStringLiteral("cannot connect to the ODBC data source "
                                                        "DSN=TarnlowNoSuchSource;UID=u;PWD=***")))
        << unconnected.err.toStdString();
    EXPECT_FALSE(unconnected.err.contains(QStringLiteral("secret")));

    const CliRun bad = run({file(QStringLiteral("bad.csv"), "strivmst_short_sku\nA1\n"),
                            QStringLiteral("--connect-string"), odbcConnectString(*database)});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("names no column strivmst_clos_stk_qty")))
        << bad.err.toStdString();

    EXPECT_EQ(run({}).exitCode, 2);
    EXPECT_EQ(run({stock, QStringLiteral("--bogus")}).exitCode, 2);
    EXPECT_EQ(run({stock, stock}).exitCode, 2);
    EXPECT_EQ(stockValues(sqlca), initialStockValues());
}

INSTANTIATE_TEST_SUITE_P(Odbc, StockUpdateCommand,
                         ::testing::Values(Backend::OdbcPostgres, Backend::OdbcPgBouncer), backendTestName);

TEST(ScanControlsCommand, OneLinePerCodeAsTextOrJson) {
    ScratchFolder scratch;
    ASSERT_TRUE(scratch.write(QStringLiteral("data"), QByteArray("a\0b\nc\td\n", 8)));
    const QString data = scratch.file(QStringLiteral("data"));
    const CliRun text = runCli({QStringLiteral("scan-controls"), data}, scratch.registryPath());
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(text.out, QStringLiteral("code 9 first at byte 6\ncode 10 first at byte 4\n"));
    const CliRun json =
        runCli({QStringLiteral("scan-controls"), QStringLiteral("--json"), data}, scratch.registryPath());
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_EQ(json.out, QStringLiteral("{\"code\":9,\"position\":6}\n{\"code\":10,\"position\":4}\n"));

    ASSERT_TRUE(scratch.write(QStringLiteral("plain"), "nothing here"));
    const CliRun none = runCli({QStringLiteral("scan-controls"), scratch.file(QStringLiteral("plain"))},
                               scratch.registryPath());
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_TRUE(none.out.isEmpty());

    const CliRun missing = runCli({QStringLiteral("scan-controls"), scratch.file(QStringLiteral("missing"))},
                                  scratch.registryPath());
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("cannot be scanned"))) << missing.err.toStdString();
    EXPECT_EQ(runCli({QStringLiteral("scan-controls")}, scratch.registryPath()).exitCode, 2);
}
