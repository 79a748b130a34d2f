// Ctrl+C to tarnlow_as_cli apply and sync at several points, on a terminal as an operator presses
// it: exit code 130, a message saying what became of the work, the database whole or untouched,
// every program file old or complete.

#include "download_database.h"
#include "import_fixture.h"

#include "host/settings_store.h"
#include "support/cli_process.h"
#include "support/terminal_process.h"
#include "update/download_engine.h"
#include "update/import_engine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

namespace tarnlow {
namespace {

constexpr qint64 kLargeFile = 8 * 1024 * 1024;
constexpr int kSeconds = 1000;

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class InterruptCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        database = std::make_unique<test::DownloadDatabase>(kDbmsPostgreSql, scratch);
        if (!database->skipReason().isEmpty() && !test::serversRequired())
            GTEST_SKIP() << database->skipReason().toStdString();
        ASSERT_TRUE(database->ready()) << database->error().toStdString();
        const Transaction& sqlca = database->sqlca();
        connection = {
            QStringLiteral("--dbms"),     kDbmsPostgreSql, QStringLiteral("--server"), sqlca.ServerName,
            QStringLiteral("--database"), sqlca.Database,  QStringLiteral("--login"),  sqlca.LogID};
        environment = test::environmentWithRegistry(scratch.registryPath());
        environment.insert(QStringLiteral("TARNLOW_AS_PASSWORD"), sqlca.LogPass);
    }

    QString compId() const {
        QString value = QStringLiteral("<absent>");
        value =
            SettingsStore(scratch.registryPath()).read(kSettingsKey, kInstalledComponentName).value_or(value);
        return value;
    }

    test::ScratchFolder scratch;
    std::unique_ptr<test::DownloadDatabase> database;
    QStringList connection;
    QProcessEnvironment environment;
};

TEST_F(InterruptCommandTest, ApplyStoppedWhileStoringLeavesNothingOfThePackage) {
    ASSERT_TRUE(scratch.write(
        QStringLiteral("big.fuf"),
        test::buildPackage("04", "031",
                           {test::PackageFileSpec{"one.pak", test::patternBytes(kLargeFile, 1)},
                            test::PackageFileSpec{"two.pak", test::patternBytes(kLargeFile, 2)},
                            test::PackageFileSpec{"three.pak", test::patternBytes(kLargeFile, 3)},
                            std::nullopt},
                           "create table t17_cli_marker ( n int )")));
    const QStringList apply =
        QStringList{QStringLiteral("apply"), scratch.file(QStringLiteral("big.fuf"))} + connection;

    test::TerminalProcess process;
    ASSERT_TRUE(process.start(test::cliProgram(), apply, environment));
    // The progress line names the file being stored and the bytes of the whole package.
    ASSERT_TRUE(process.waitFor(
        [](const QString& text) { return text.contains(QStringLiteral("of 24.0 MB")); }, 60 * kSeconds))
        << process.text().toStdString();
    process.interrupt();
    EXPECT_EQ(process.waitForExit(30 * kSeconds), 130) << process.text().toStdString();
    EXPECT_TRUE(process.text().contains(QStringLiteral("nothing of the package is stored")))
        << process.text().toStdString();
    EXPECT_TRUE(test::storedRows(database->sqlca()).isEmpty());
    EXPECT_FALSE(database->sqlca().selectInto(QStringLiteral("select count(*) from t17_cli_marker")));

    // Without a terminal the same command prints no progress line; it stores the package whole.
    const test::CliRun plain = test::runCli(apply, environment);
    EXPECT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    EXPECT_TRUE(plain.err.isEmpty()) << plain.err.toStdString();
    EXPECT_EQ(test::storedRows(database->sqlca()).size(), 3);
}

TEST_F(InterruptCommandTest, ApplyWaitingForTheImportLockStopsAtOnceOnCtrlC) {
    // Another importer holds the lock, so the command waits inside a statement.
    Transaction& holder = database->sqlca();
    ASSERT_EQ(holder.beginLocked(kImportLockName), kSqlSuccess) << holder.SQLErrText.toStdString();
    ASSERT_TRUE(scratch.write(QStringLiteral("small.fuf"),
                              test::buildPackage("04", "032",
                                                 {test::PackageFileSpec{"one.pak", QByteArray("one")},
                                                  std::nullopt, std::nullopt, std::nullopt})));
    const QStringList apply =
        QStringList{QStringLiteral("apply"), scratch.file(QStringLiteral("small.fuf"))} + connection;
    test::TerminalProcess process;
    ASSERT_TRUE(process.start(test::cliProgram(), apply, environment));
    const auto waiting = [&] {
        const auto row = holder.selectInto(QStringLiteral(
            "select count(*) from pg_locks where locktype = 'advisory' and not granted and database = "
            "(select oid from pg_database where datname = current_database())"));
        return row && row->at(0).toLongLong() > 0;
    };
    QElapsedTimer clock;
    clock.start();
    while (!waiting() && clock.elapsed() < 30 * kSeconds)
        QThread::msleep(20);
    ASSERT_TRUE(waiting()) << process.text().toStdString();

    clock.restart();
    process.interrupt();
    EXPECT_EQ(process.waitForExit(30 * kSeconds), 130) << process.text().toStdString();
    // Well within the grace the command gives a stuck job: the wait itself was stopped.
    EXPECT_LT(clock.elapsed(), 2 * kSeconds);
    EXPECT_TRUE(process.text().contains(QStringLiteral("nothing of the package is stored")))
        << process.text().toStdString();
    EXPECT_FALSE(process.text().contains(QStringLiteral("did not stop in time")))
        << process.text().toStdString();
    ASSERT_EQ(holder.rollback(), kSqlSuccess);
    EXPECT_TRUE(test::storedRows(holder).isEmpty());
}

TEST_F(InterruptCommandTest, SyncStoppedAtSeveralPointsKeepsEveryFileOldOrComplete) {
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("a.dll"), QByteArray("a"));
    database->insert(QStringLiteral("1.0"), 2, 1, QStringLiteral("b1.dll"),
                     test::patternBytes(kLargeFile, 4));
    database->insert(QStringLiteral("1.0"), 2, 2, QStringLiteral("b2.dll"),
                     test::patternBytes(kLargeFile, 5));
    database->insert(QStringLiteral("1.0"), 3, 1, QStringLiteral("c.dll"), test::patternBytes(kLargeFile, 6));
    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("client")));
    const QString folder = scratch.file(QStringLiteral("client")) + QLatin1Char('/');
    ASSERT_TRUE(scratch.write(QStringLiteral("client/b2.dll"), "old"));
    const QStringList sync =
        QStringList{QStringLiteral("sync"), QStringLiteral("--folder"), folder} + connection;

    // Right after the first file is in place: component 1 is complete and recorded.
    {
        test::TerminalProcess process;
        ASSERT_TRUE(process.start(test::cliProgram(), sync, environment));
        ASSERT_TRUE(process.waitFor(
            [](const QString& text) { return text.contains(QStringLiteral("wrote ")); }, 60 * kSeconds))
            << process.text().toStdString();
        process.interrupt();
        EXPECT_EQ(process.waitForExit(30 * kSeconds), 130) << process.text().toStdString();
        EXPECT_TRUE(process.text().contains(QStringLiteral("stopped by Ctrl+C after")))
            << process.text().toStdString();
        EXPECT_EQ(fileBytes(folder + QStringLiteral("a.dll")), QByteArray("a"));
        EXPECT_EQ(fileBytes(folder + QStringLiteral("b2.dll")), QByteArray("old"));
        const QByteArray b1 = fileBytes(folder + QStringLiteral("b1.dll"));
        EXPECT_TRUE(b1 == QByteArray("<missing>") || b1 == test::patternBytes(kLargeFile, 4));
        EXPECT_FALSE(QFile::exists(folder + QStringLiteral("c.dll")));
        EXPECT_EQ(compId(), QStringLiteral("1"));
    }
    // In the middle of the last large file: everything before it stays, the file itself does not
    // appear, and Comp_ID names the last complete component.
    {
        test::TerminalProcess process;
        ASSERT_TRUE(process.start(test::cliProgram(), sync, environment));
        ASSERT_TRUE(process.waitFor(
            [](const QString& text) { return text.contains(QStringLiteral("c.dll")); }, 60 * kSeconds))
            << process.text().toStdString();
        process.interrupt();
        const int code = process.waitForExit(30 * kSeconds);
        // Ctrl+C that comes after the last byte finds the download complete.
        EXPECT_TRUE(code == 130 || code == 0) << code << process.text().toStdString();
        EXPECT_EQ(fileBytes(folder + QStringLiteral("b1.dll")), test::patternBytes(kLargeFile, 4));
        EXPECT_EQ(fileBytes(folder + QStringLiteral("b2.dll")), test::patternBytes(kLargeFile, 5));
        const QByteArray c = fileBytes(folder + QStringLiteral("c.dll"));
        if (code == 130) {
            EXPECT_EQ(c, QByteArray("<missing>"));
            EXPECT_EQ(compId(), QStringLiteral("2"));
        } else {
            EXPECT_EQ(c, test::patternBytes(kLargeFile, 6));
            EXPECT_EQ(compId(), QStringLiteral("3"));
        }
    }
    // No temporary file is left behind in either case.
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
        EXPECT_TRUE(name.endsWith(QStringLiteral(".dll"))) << name.toStdString();
}

} // namespace
} // namespace tarnlow
