#include "../db/database_backends.h"

#include "host/settings_store.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace tarnlow;
using test::Backend;
using test::BackendDatabase;

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class InitCommandTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        database = std::make_unique<BackendDatabase>(GetParam());
        TARNLOW_REQUIRE_BACKEND(*database);
        database->configure(sqlca);
        ASSERT_EQ(sqlca.connect(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    }

    // The real tarnlow_as_cli on this test's database and settings file.
    CliRun init(const QStringList& extra = {}) {
        QStringList arguments{QStringLiteral("init"), QStringLiteral("--dbms"), sqlca.DBMS,
                              QStringLiteral("--database"), sqlca.Database};
        if (GetParam() == Backend::Postgres)
            arguments << QStringLiteral("--server") << sqlca.ServerName << QStringLiteral("--login")
                      << sqlca.LogID << QStringLiteral("--password") << sqlca.LogPass;
        arguments << extra;
        QProcess process;
        process.start(test::binaryDirectory() + QStringLiteral("/tarnlow_as_cli"), arguments);
        CliRun run;
        if (!process.waitForFinished(60000)) {
            ADD_FAILURE() << "tarnlow_as_cli did not finish: " << process.errorString().toStdString();
            return run;
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    qint64 count(const QString& table) {
        const auto row = sqlca.selectInto(QStringLiteral("SELECT count(*) FROM ") + table);
        EXPECT_TRUE(row.has_value()) << sqlca.SQLErrText.toStdString();
        return row ? row->first().toLongLong() : -1;
    }

    QString compId() {
        QString value;
        SettingsStore::standard().read(kSettingsKey, QStringLiteral("Comp_ID"), value);
        return value;
    }

    std::unique_ptr<BackendDatabase> database;
    Transaction sqlca;
};

TEST_P(InitCommandTest, InitialisesOnceAndThenLeavesTheTablesAlone) {
    SettingsStore::standard().write(kSettingsKey, QStringLiteral("Comp_ID"), QStringLiteral("12"));
    CliRun run = init();
    ASSERT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("T_SYS_MENU does not exist"))) << run.out.toStdString();
    EXPECT_EQ(count(QStringLiteral("t_sys_menu")), 24);
    EXPECT_EQ(count(QStringLiteral("t_sys_config")), 1);
    EXPECT_EQ(compId(), QStringLiteral("0"));

    SettingsStore::standard().write(kSettingsKey, QStringLiteral("Comp_ID"), QStringLiteral("4"));
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
    SettingsStore::standard().write(kSettingsKey, QStringLiteral("Comp_ID"), QStringLiteral("1"));

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

INSTANTIATE_TEST_SUITE_P(Backends, InitCommandTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const ::testing::TestParamInfo<Backend>& parameter) {
                             return test::backendName(parameter.param);
                         });

TEST(InitCommand, UnreachableDatabaseFailsWithTheReason) {
    test::ScratchFolder scratch;
    QProcess process;
    process.start(test::binaryDirectory() + QStringLiteral("/tarnlow_as_cli"),
                  {QStringLiteral("init"), QStringLiteral("--dbms"), QStringLiteral("SQLite"),
                   QStringLiteral("--database"), scratch.file(QStringLiteral("missing/folder/x.db"))});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains(QStringLiteral("cannot connect")));
}

} // namespace
