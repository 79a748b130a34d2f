#include "host/settings_store.h"
#include "support/cli_process.h"
#include "support/database_backends.h"

#include <gtest/gtest.h>

using namespace tarnlow;
using test::Backend;
using test::CliRun;
using test::ConnectedBackendTest;

namespace {

class InitCommandTest : public ConnectedBackendTest {
protected:
    // The real tarnlow_as_cli on this test's database and settings file.
    CliRun init(const QStringList& extra = {}) {
        QStringList arguments{QStringLiteral("init"), QStringLiteral("--dbms"), sqlca.DBMS,
                              QStringLiteral("--database"), sqlca.Database};
        if (GetParam() == Backend::Postgres || GetParam() == Backend::PgBouncer)
            arguments << QStringLiteral("--server") << sqlca.ServerName << QStringLiteral("--login")
                      << sqlca.LogID << QStringLiteral("--password") << sqlca.LogPass;
        arguments << extra;
        return test::runCli(arguments);
    }

    qint64 count(const QString& table) {
        const auto row = sqlca.selectInto(QStringLiteral("SELECT count(*) FROM ") + table);
        EXPECT_TRUE(row.has_value()) << sqlca.SQLErrText.toStdString();
        return row ? row->first().toLongLong() : -1;
    }

    QString compId() {
        QString value;
        value = SettingsStore::standard().read(kSettingsKey, QStringLiteral("Comp_ID")).value_or(value);
        return value;
    }
};

TEST_P(InitCommandTest, InitialisesOnceAndThenLeavesTheTablesAlone) {
    EXPECT_TRUE(
        SettingsStore::standard().write(kSettingsKey, QStringLiteral("Comp_ID"), QStringLiteral("12")));
    CliRun run = init();
    ASSERT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("T_SYS_MENU does not exist"))) << run.out.toStdString();
    EXPECT_EQ(count(QStringLiteral("t_sys_menu")), 24);
    EXPECT_EQ(count(QStringLiteral("t_sys_config")), 1);
    EXPECT_EQ(compId(), QStringLiteral("0"));

    EXPECT_TRUE(
        SettingsStore::standard().write(kSettingsKey, QStringLiteral("Comp_ID"), QStringLiteral("4")));
    run = init();
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("nothing was changed"))) << run.out.toStdString();
    EXPECT_EQ(compId(), QStringLiteral("4"));
}

TEST_P(InitCommandTest, RowsAreDroppedOnlyWithForce) {
    ASSERT_EQ(init().exitCode, 0);
    ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("UPDATE t_sys_config SET conf_value = 'Y'")),
              kSqlSuccess);
    ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("INSERT INTO t_sys_ver VALUES ('1', 1, 1, 'a', NULL)")),
              kSqlSuccess);
    EXPECT_TRUE(
        SettingsStore::standard().write(kSettingsKey, QStringLiteral("Comp_ID"), QStringLiteral("1")));

    CliRun run = init();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("--force"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("T_SYS_VER: 1"))) << run.err.toStdString();
    EXPECT_EQ(count(QStringLiteral("t_sys_ver")), 1);
    EXPECT_EQ(compId(), QStringLiteral("1"));

    run = init({QStringLiteral("--force")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(count(QStringLiteral("t_sys_ver")), 0);
    EXPECT_EQ(compId(), QStringLiteral("0"));

    EXPECT_EQ(init({QStringLiteral("--unknown")}).exitCode, 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, InitCommandTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres, Backend::PgBouncer),
                         test::backendTestName);

TEST(InitCommand, UnreachableDatabaseFailsWithTheReason) {
    test::ScratchFolder scratch;
    const CliRun run =
        test::runCli({QStringLiteral("init"), QStringLiteral("--dbms"), QStringLiteral("SQLite"),
                      QStringLiteral("--database"), scratch.file(QStringLiteral("missing/folder/x.db"))});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("cannot connect")));
}

} // namespace
