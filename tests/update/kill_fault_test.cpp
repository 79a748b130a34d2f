// tarnlow_as_cli apply and sync killed with SIGKILL at many points of their work, chosen by the
// bytes they have written to files and sockets (a preloaded library counts them and kills the
// process when the count is reached), on SQLite and on the PostgreSQL test server. After every
// kill the database holds the whole package or none of it, every client file is its old or its new
// content, Comp_ID is never recorded before the files it stands for, and the next run completes
// with the same result as a run that was never interrupted.

#include "import_fixture.h"

#include "db/dialect.h"
#include "host/settings_store.h"
#include "support/cli_process.h"
#include "update/download_engine.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <set>

namespace tarnlow {
namespace {

using test::Backend;
using test::CliRun;
using test::PackageFileSpec;

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Points spread over a whole run of `total` bytes: its first bytes, evenly between, its last bytes.
std::set<qint64> killPoints(qint64 total, int between) {
    std::set<qint64> points{1, 100, 4096, total - 100, total - 1};
    for (int i = 1; i <= between; ++i)
        points.insert(total * i / (between + 1));
    std::erase_if(points, [&](qint64 point) { return point < 1 || point >= total; });
    return points;
}

// Points between the first and the last bytes of a run; each costs a killed run and a whole one.
constexpr int kPointsBetween = 30;

class KillFaultTest : public test::VersionTableTest {
protected:
    void SetUp() override {
        test::VersionTableTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        registry = database->scratch().file(QStringLiteral("client.ini"));
        connection = {QStringLiteral("--dbms"),
                      GetParam() == Backend::Postgres ? kDbmsPostgreSql : kDbmsSqlite,
                      QStringLiteral("--database"), database->databaseName()};
        if (const auto& server = database->server()) {
            connection << QStringLiteral("--server")
                       << server->host + QLatin1Char(':') + QString::number(server->port)
                       << QStringLiteral("--login") << server->user << QStringLiteral("--password")
                       << server->password;
        }
    }

    QString writePackage(const QString& name, const QByteArray& bytes) {
        EXPECT_TRUE(database->scratch().write(name, bytes));
        return database->scratch().file(name);
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment values = test::environmentWithRegistry(registry);
        values.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(TARNLOW_KILL_AFTER_BYTES_LIBRARY));
        return values;
    }

    // Runs the command to its end and reports how many bytes it wrote.
    qint64 bytesOfWholeRun(const QStringList& arguments) {
        QProcessEnvironment values = environment();
        const QString countFile = database->scratch().file(QStringLiteral("bytes-written"));
        values.insert(QStringLiteral("TARNLOW_BYTES_WRITTEN_FILE"), countFile);
        const CliRun run = test::runCli(arguments + connection, values);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return readFile(countFile).trimmed().toLongLong();
    }

    // Runs the command until it has written `bytes` bytes; true when it was killed there.
    bool runKilledAt(const QStringList& arguments, qint64 bytes) {
        QProcessEnvironment values = environment();
        values.insert(QStringLiteral("TARNLOW_KILL_AFTER_BYTES"), QString::number(bytes));
        return test::runCli(arguments + connection, values).exitCode == -1;
    }

    CliRun runWhole(const QStringList& arguments) {
        return test::runCli(arguments + connection, test::environmentWithRegistry(registry));
    }

    bool markerExists() {
        const auto row =
            sqlca.selectInto(sqlca.dialect().tableExistsQuery(), {QStringLiteral("fault_marker")});
        return row && row->at(0).toLongLong() > 0;
    }

    void emptyDatabase() {
        ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("delete from t_sys_ver")), kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
        ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("drop table if exists fault_marker")), kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
    }

    QString registry;
    QStringList connection;
};

bool sameRows(const QList<test::StoredRow>& left, const QList<test::StoredRow>& right) {
    if (left.size() != right.size())
        return false;
    for (qsizetype i = 0; i < left.size(); ++i) {
        const test::StoredRow& a = left.at(i);
        const test::StoredRow& b = right.at(i);
        if (a.version != b.version || a.component != b.component || a.updateIndex != b.updateIndex ||
            a.name != b.name || a.bytes != b.bytes)
            return false;
    }
    return true;
}

TEST_P(KillFaultTest, ApplyKilledAnywhereStoresTheWholePackageOrNothing) {
    const QString package = writePackage(
        QStringLiteral("fault.fuf"),
        test::buildPackage("03", "004",
                           {PackageFileSpec{"large.bin", test::patternBytes(300'000, 11)},
                            PackageFileSpec{"small.bin", test::patternBytes(1'000, 12)}, std::nullopt,
                            PackageFileSpec{"middle.bin", test::patternBytes(70'000, 13)}},
                           "create table if not exists fault_marker ( n int )"));
    const QStringList apply{QStringLiteral("apply"), package};

    const qint64 total = bytesOfWholeRun(apply);
    ASSERT_GT(total, 370'000);
    const QList<test::StoredRow> whole = test::storedRows(sqlca);
    ASSERT_EQ(whole.size(), 3);
    ASSERT_TRUE(markerExists());

    int killed = 0;
    for (const qint64 point : killPoints(total, kPointsBetween)) {
        SCOPED_TRACE("killed after " + std::to_string(point) + " of " + std::to_string(total) + " bytes");
        emptyDatabase();
        killed += runKilledAt(apply, point) ? 1 : 0;
        const QList<test::StoredRow> rows = test::storedRows(sqlca);
        const bool marker = markerExists();
        EXPECT_TRUE((rows.isEmpty() && !marker) || (sameRows(rows, whole) && marker))
            << rows.size() << " rows stored, script table " << (marker ? "present" : "absent");

        const CliRun again = runWhole(apply);
        EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
        EXPECT_TRUE(sameRows(test::storedRows(sqlca), whole));
    }
    // Each point lies inside the run, so every run was really cut short.
    EXPECT_EQ(killed, static_cast<int>(killPoints(total, kPointsBetween).size()));
    std::cout << "apply writes " << total << " bytes; killed at " << killed << " points\n";
}

TEST_P(KillFaultTest, SyncKilledAnywhereLeavesEveryFileOldOrNewAndComponentNeverAhead) {
    const QList<QByteArray> newBytes{test::patternBytes(200'000, 21), test::patternBytes(5'000, 22),
                                     test::patternBytes(90'000, 23)};
    const QList<QByteArray> oldBytes{test::patternBytes(150'000, 31), test::patternBytes(7'000, 32),
                                     test::patternBytes(1'000, 33)};
    const QStringList names{QStringLiteral("one.bin"), QStringLiteral("two.bin"),
                            QStringLiteral("three.bin")};
    const QString first = writePackage(
        QStringLiteral("first.fuf"),
        test::buildPackage("05", "001",
                           {PackageFileSpec{"one.bin", newBytes.at(0)},
                            PackageFileSpec{"two.bin", newBytes.at(1)}, std::nullopt, std::nullopt}));
    const QString second =
        writePackage(QStringLiteral("second.fuf"),
                     test::buildPackage("05", "002",
                                        {std::nullopt, PackageFileSpec{"three.bin", newBytes.at(2)},
                                         std::nullopt, std::nullopt}));
    for (const QString& package : {first, second}) {
        const CliRun applied = runWhole({QStringLiteral("apply"), package});
        ASSERT_EQ(applied.exitCode, 0) << applied.err.toStdString();
    }

    const QString folder = database->scratch().file(QStringLiteral("client"));
    const QStringList sync{QStringLiteral("sync"), QStringLiteral("--folder"), folder};
    const auto resetClient = [&] {
        QDir(folder).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder));
        for (qsizetype i = 0; i < names.size(); ++i)
            ASSERT_TRUE(database->scratch().write(QStringLiteral("client/") + names.at(i), oldBytes.at(i)));
        QFile::remove(registry);
        ASSERT_TRUE(SettingsStore(registry).write(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Other"),
                                                  QStringLiteral("kept"), QStringLiteral("yes")));
    };
    const auto allNew = [&] {
        for (qsizetype i = 0; i < names.size(); ++i)
            if (readFile(folder + QLatin1Char('/') + names.at(i)) != newBytes.at(i))
                return false;
        return true;
    };

    // The client's row is in T_SYS_CLIENT from an earlier check, as at every start but the first,
    // so that every run below writes the same bytes as the one measured.
    resetClient();
    ASSERT_EQ(runWhole(sync).exitCode, 0);
    resetClient();
    const qint64 total = bytesOfWholeRun(sync);
    ASSERT_GT(total, 295'000);
    ASSERT_TRUE(allNew());

    int killed = 0;
    for (const qint64 point : killPoints(total, kPointsBetween)) {
        SCOPED_TRACE("killed after " + std::to_string(point) + " of " + std::to_string(total) + " bytes");
        resetClient();
        killed += runKilledAt(sync, point) ? 1 : 0;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QByteArray bytes = readFile(folder + QLatin1Char('/') + names.at(i));
            EXPECT_TRUE(bytes == oldBytes.at(i) || bytes == newBytes.at(i))
                << names.at(i).toStdString() << " holds " << bytes.size() << " bytes";
        }
        // The settings file is whole: the value written before is there, and Comp_ID is either not
        // recorded or recorded after every file it stands for.
        const SettingsStore settings(registry);
        EXPECT_EQ(
            settings.read(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Other"), QStringLiteral("kept")),
            QStringLiteral("yes"));
        const qint32 recorded = installedComponent(settings);
        EXPECT_TRUE(recorded == 0 || (recorded == 2 && allNew())) << "Comp_ID " << recorded;

        const CliRun again = runWhole(sync);
        EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
        EXPECT_TRUE(allNew());
        EXPECT_EQ(installedComponent(SettingsStore(registry)), 2);
    }
    EXPECT_EQ(killed, static_cast<int>(killPoints(total, kPointsBetween).size()));
    std::cout << "sync writes " << total << " bytes; killed at " << killed << " points\n";
}

INSTANTIATE_TEST_SUITE_P(Backends, KillFaultTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         test::backendTestName);

} // namespace
} // namespace tarnlow
