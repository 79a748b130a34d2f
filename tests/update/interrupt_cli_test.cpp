// Ctrl+C to tarnlow_as_cli apply and sync at several points, on a terminal as an operator presses
// it: exit code 130, a message saying what became of the work, the database whole or untouched,
// every program file old or complete.

#include "download_database.h"
#include "import_fixture.h"

#include "host/settings_store.h"
#include "support/cli_process.h"
#include "support/database_backends.h"
#include "support/terminal_process.h"
#include "update/download_engine.h"
#include "update/import_engine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <csignal>

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

    // A row of the second file's key, not yet committed by another session, holds the command in
    // the middle of the package: its first file stored, the second waiting for that session.
    Transaction& holder = database->sqlca();
    ASSERT_EQ(holder.begin(), kSqlSuccess) << holder.SQLErrText.toStdString();
    ASSERT_EQ(
        holder.execute(QStringLiteral("insert into t_sys_ver (ver_no, comp_no, update_index, file_name) "
                                      "values (?, ?, ?, ?)"),
                       {QStringLiteral("04"), 31, 2, QStringLiteral("held.pak")}),
        kSqlSuccess)
        << holder.SQLErrText.toStdString();

    test::TerminalProcess process;
    ASSERT_TRUE(process.start(test::cliProgram(), apply, environment));
    QElapsedTimer clock;
    clock.start();
    while (test::sessionsWaitingFor(holder) < 1 && clock.elapsed() < 60 * kSeconds)
        process.waitFor([](const QString&) { return false; }, 20);
    ASSERT_EQ(test::sessionsWaitingFor(holder), 1) << process.text().toStdString();
    // The progress line names the bytes of the whole package.
    ASSERT_TRUE(process.waitFor(
        [](const QString& text) { return text.contains(QStringLiteral("of 24.0 MB")); }, 60 * kSeconds))
        << process.text().toStdString();
    process.interrupt();
    EXPECT_EQ(process.waitForExit(60 * kSeconds), 130) << process.text().toStdString();
    EXPECT_TRUE(process.text().contains(QStringLiteral("nothing of the package is stored")))
        << process.text().toStdString();
    EXPECT_FALSE(process.text().contains(QStringLiteral("did not stop in time")))
        << process.text().toStdString();
    ASSERT_EQ(holder.rollback(), kSqlSuccess) << holder.SQLErrText.toStdString();
    EXPECT_TRUE(test::storedRows(holder).isEmpty());
    EXPECT_FALSE(holder.selectInto(QStringLiteral("select count(*) from t17_cli_marker")));

    // Without a terminal the same command prints no progress line; it stores the package whole.
    const test::CliRun plain = test::runCli(apply, environment);
    EXPECT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    EXPECT_TRUE(plain.err.isEmpty()) << plain.err.toStdString();
    EXPECT_EQ(test::storedRows(holder).size(), 3);
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
    QElapsedTimer clock;
    clock.start();
    while (test::sessionsWaitingFor(holder) < 1 && clock.elapsed() < 60 * kSeconds)
        process.waitFor([](const QString&) { return false; }, 20);
    ASSERT_EQ(test::sessionsWaitingFor(holder), 1) << process.text().toStdString();

    process.interrupt();
    EXPECT_EQ(process.waitForExit(60 * kSeconds), 130) << process.text().toStdString();
    // The wait itself was stopped, not cut off after the grace the command gives a stuck job.
    EXPECT_TRUE(process.text().contains(QStringLiteral("nothing of the package is stored")))
        << process.text().toStdString();
    EXPECT_FALSE(process.text().contains(QStringLiteral("did not stop in time")))
        << process.text().toStdString();
    ASSERT_EQ(holder.rollback(), kSqlSuccess);
    EXPECT_TRUE(test::storedRows(holder).isEmpty());
}

TEST_F(InterruptCommandTest, SyncStoppedAtSeveralPointsKeepsEveryFileOldOrComplete) {
    struct StoredFile {
        int component;
        int index;
        QString name;
        QByteArray bytes;
        QByteArray before; // what the folder holds before the sync
    };
    const QList<StoredFile> files{
        {1, 1, QStringLiteral("a.dll"), QByteArray("a"), QByteArray("<missing>")},
        {2, 1, QStringLiteral("b1.dll"), test::patternBytes(kLargeFile, 4), QByteArray("<missing>")},
        {2, 2, QStringLiteral("b2.dll"), test::patternBytes(kLargeFile, 5), QByteArray("old")},
        {3, 1, QStringLiteral("c.dll"), test::patternBytes(kLargeFile, 6), QByteArray("<missing>")}};
    for (const StoredFile& file : files)
        database->insert(QStringLiteral("1.0"), file.component, file.index, file.name, file.bytes);
    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("client")));
    const QString folder = scratch.file(QStringLiteral("client")) + QLatin1Char('/');
    const QStringList sync =
        QStringList{QStringLiteral("sync"), QStringLiteral("--folder"), folder} + connection;

    // Ctrl+C once the progress shows a point of the download; where it lands depends on how far
    // the download got meanwhile, and a download that ended first has nothing left to stop.
    struct Point {
        QString shown;
        int completeBefore; // components complete when it is shown
    };
    const Point points[] = {{QStringLiteral("wrote "), 1}, {QStringLiteral("c.dll"), 2}};
    for (const Point& point : points) {
        SCOPED_TRACE(point.shown.toStdString());
        for (const StoredFile& file : files) {
            QFile::remove(folder + file.name);
            if (file.before != QByteArray("<missing>")) {
                ASSERT_TRUE(scratch.write(QStringLiteral("client/") + file.name, file.before));
            }
        }
        ASSERT_TRUE(SettingsStore(scratch.registryPath())
                        .write(kSettingsKey, kInstalledComponentName, QStringLiteral("0")));

        test::TerminalProcess process;
        ASSERT_TRUE(process.start(test::cliProgram(), sync, environment));
        ASSERT_TRUE(
            process.waitFor([&](const QString& text) { return text.contains(point.shown); }, 60 * kSeconds))
            << process.text().toStdString();
        process.interrupt();
        const int code = process.waitForExit(60 * kSeconds);
        const bool endedFirst = code == 0 || (code == -1 && process.endingSignal() == SIGINT);
        ASSERT_TRUE(code == 130 || endedFirst) << code << process.text().toStdString();

        // Every file is old or complete; Comp_ID names the last component whose files all are.
        int complete = 0;
        bool prefix = true;
        for (int component = 1; component <= 3; ++component) {
            for (const StoredFile& file : files) {
                if (file.component != component)
                    continue;
                const QByteArray bytes = fileBytes(folder + file.name);
                EXPECT_TRUE(bytes == file.before || bytes == file.bytes)
                    << file.name.toStdString() << " holds " << bytes.size() << " bytes";
                prefix = prefix && bytes == file.bytes;
            }
            if (prefix)
                complete = component;
        }
        EXPECT_GE(complete, point.completeBefore);
        EXPECT_EQ(compId(), QString::number(complete));
        if (endedFirst) {
            EXPECT_EQ(complete, 3) << "the download ended by itself, so it is complete";
        } else {
            EXPECT_TRUE(process.text().contains(QStringLiteral("stopped by Ctrl+C after")))
                << process.text().toStdString();
        }
        // No temporary file is left behind.
        for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System))
            EXPECT_TRUE(name.endsWith(QStringLiteral(".dll"))) << name.toStdString();
    }
}

} // namespace
} // namespace tarnlow
