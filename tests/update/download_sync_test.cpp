// tarnlow_as_cli sync as a separate process: what it prints, how it fails, what a SIGKILL halfway
// leaves behind, and the whole road from pack through apply to two client folders.

#include "download_database.h"

#include "db/transaction.h"
#include "host/settings_store.h"
#include "signing/signing_key.h"
#include "signing/trusted_keys.h"
#include "support/cli_process.h"
#include "support/database_backends.h"
#include "support/test_environment.h"
#include "update/download_engine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

using namespace tarnlow;
using namespace tarnlow::test;

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString storedCompId(const QString& registry) {
    QString value = QStringLiteral("<absent>");
    value = SettingsStore(registry).read(kSettingsKey, kInstalledComponentName).value_or(value);
    return value;
}

class SyncCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        database = std::make_unique<DownloadDatabase>(kDbmsSqlite, scratch);
        ASSERT_TRUE(database->ready()) << database->error().toStdString();
        ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("client")));
        folder = scratch.file(QStringLiteral("client"));
    }
    QStringList syncArguments() const {
        return {QStringLiteral("sync"),
                QStringLiteral("--folder"),
                folder,
                QStringLiteral("--dbms"),
                kDbmsSqlite,
                QStringLiteral("--database"),
                scratch.file(QStringLiteral("download.db"))};
    }

    ScratchFolder scratch;
    std::unique_ptr<DownloadDatabase> database;
    QString folder;
};

TEST_F(SyncCommandTest, PrintsEachFileAndASummaryThenFindsNothingNewer) {
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("a.dll"), QByteArray("first"));
    database->insert(QStringLiteral("1.1"), 2, 1, QStringLiteral("b.dll"), patternBytes(100000, 7));

    CliRun run = runCli(syncArguments(), scratch.registryPath());
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("wrote %1/a.dll (component 1, index 1)").arg(folder)))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("wrote %1/b.dll (component 2, index 1)").arg(folder)));
    EXPECT_TRUE(run.out.contains(QStringLiteral("downloaded 2 files")));
    EXPECT_EQ(readFile(folder + QStringLiteral("/b.dll")), patternBytes(100000, 7));
    EXPECT_EQ(storedCompId(scratch.registryPath()), QStringLiteral("2"));

    run = runCli(syncArguments(), scratch.registryPath());
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("nothing to download"))) << run.out.toStdString();
}

TEST_F(SyncCommandTest, FailureExitsWithOneNamingTheFileAndBadArgumentsWithTwo) {
    database->insert(QStringLiteral("1.0"), 1, 1, QStringLiteral("a.dll"), std::nullopt);
    CliRun run = runCli(syncArguments(), scratch.registryPath());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(folder + QStringLiteral("/a.dll"))) << run.err.toStdString();
    EXPECT_EQ(storedCompId(scratch.registryPath()), QStringLiteral("<absent>"));

    // Settings whose lock cannot be taken: nothing is fetched, since the download could not be
    // recorded and would be repeated at every start.
    database->insert(QStringLiteral("1.0"), 2, 1, QStringLiteral("b.dll"), QByteArray("b"));
    const QString locked = scratch.file(QStringLiteral("locked/registry.ini"));
    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("locked/registry.ini.lock")));
    run = runCli(syncArguments(), locked);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("The settings file %1 cannot be written").arg(locked)))
        << run.err.toStdString();
    EXPECT_TRUE(QDir(folder).isEmpty());

    run = runCli(
        {QStringLiteral("sync"), QStringLiteral("--folder"), scratch.file(QStringLiteral("no-such-folder"))},
        scratch.registryPath());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("no-such-folder"))) << run.err.toStdString();
    run = runCli({QStringLiteral("sync"), QStringLiteral("--speed"), QStringLiteral("fast")},
                 scratch.registryPath());
    EXPECT_EQ(run.exitCode, 2);
    run = runCli({QStringLiteral("sync"), QStringLiteral("--folder")}, scratch.registryPath());
    EXPECT_EQ(run.exitCode, 2);
}

TEST_F(SyncCommandTest, StoredNamesReachTheTerminalWithTheirControlBytesEscaped) {
    // Terminal commands, and a line break that would fake the program's own last line.
    const std::pair<QString, QString> names[] = {
        {QStringLiteral("a\x1b[2J\x07.dll"), QStringLiteral("\"a\\x1B[2J\\x07.dll\"")},
        {QStringLiteral("x\ndownloaded 1 files; Comp_ID is now 999"),
         QStringLiteral("\"x\\x0Adownloaded 1 files; Comp_ID is now 999\"")}};
    for (const auto& [name, shown] : names) {
        database->remove(QStringLiteral("1.0"), 1, 1);
        database->insert(QStringLiteral("1.0"), 1, 1, name, QByteArray("x"));
        const CliRun run = runCli(syncArguments(), scratch.registryPath());
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(shown)) << run.err.toStdString();
        const QString printed = run.out + run.err;
        for (const QChar c : printed)
            EXPECT_FALSE(c.unicode() < 0x20 && c != QLatin1Char('\n'))
                << "raw control character " << int(c.unicode());
        EXPECT_FALSE(printed.contains(QStringLiteral("\ndownloaded"))) << printed.toStdString();
    }
}

// Every target is always either its old or its new contents, whole, wherever the process dies.
TEST_F(SyncCommandTest, KilledHalfwayLeavesEveryFileOldOrNewAndTheNextRunCompletes) {
    constexpr int kFiles = 6;
    QList<QByteArray> oldBytes;
    QList<QByteArray> newBytes;
    for (int i = 1; i <= kFiles; ++i) {
        oldBytes.append(patternBytes(3 * 1024 * 1024 + i, 100 + i));
        newBytes.append(patternBytes(6 * 1024 * 1024 + i, 200 + i));
        const QString name = QStringLiteral("file%1.bin").arg(i);
        ASSERT_TRUE(scratch.write(QStringLiteral("client/") + name, oldBytes.last()));
        database->insert(QStringLiteral("1.0"), i, 1, name, newBytes.last());
    }
    const auto checkTargets = [&](const std::string& when) {
        for (int i = 1; i <= kFiles; ++i) {
            const QByteArray bytes = readFile(folder + QStringLiteral("/file%1.bin").arg(i));
            EXPECT_TRUE(bytes == oldBytes.at(i - 1) || bytes == newBytes.at(i - 1))
                << "file" << i << " is partial (" << bytes.size() << " bytes) " << when;
        }
    };

    // Kill after a number of files were reported written. Kills at points chosen by the bytes
    // written are the kill fault test's (kill_fault_test.cpp), on SQLite and PostgreSQL.
    for (const int afterLines : {1, 3, 5}) {
        // Each kill point starts from the old files and no recorded component.
        for (int i = 1; i <= kFiles; ++i)
            ASSERT_TRUE(scratch.write(QStringLiteral("client/file%1.bin").arg(i), oldBytes.at(i - 1)));
        ASSERT_TRUE(
            SettingsStore(scratch.registryPath()).write(kSettingsKey, kInstalledComponentName, QString()));
        QProcess process;
        process.setProcessEnvironment(environmentWithRegistry(scratch.registryPath()));
        process.start(cliProgram(), syncArguments());
        ASSERT_TRUE(process.waitForStarted());
        QByteArray out;
        while (out.count('\n') < afterLines && process.state() == QProcess::Running) {
            process.waitForReadyRead(100);
            out += process.readAllStandardOutput();
        }
        process.kill(); // SIGKILL
        process.waitForFinished();
        const std::string when = "after a kill at line " + std::to_string(afterLines);
        checkTargets(when);
        // The component is recorded only after all its files are complete, whenever the kill came
        // (a run may be killed while it ends, after it recorded the component).
        if (storedCompId(scratch.registryPath()) == QStringLiteral("6")) {
            for (int i = 1; i <= kFiles; ++i)
                EXPECT_TRUE(readFile(folder + QStringLiteral("/file%1.bin").arg(i)) == newBytes.at(i - 1))
                    << "file" << i << " is old although Comp_ID was recorded " << when;
        }
    }

    const CliRun run = runCli(syncArguments(), scratch.registryPath());
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    for (int i = 1; i <= kFiles; ++i)
        EXPECT_TRUE(readFile(folder + QStringLiteral("/file%1.bin").arg(i)) == newBytes.at(i - 1)) << i;
    EXPECT_EQ(storedCompId(scratch.registryPath()), QStringLiteral("6"));
}

// The connection options of tarnlow_as_cli for a database of the test server.
QStringList postgresConnection(const PostgresServer& server, const QString& database) {
    return {QStringLiteral("--dbms"),     kDbmsPostgreSql,
            QStringLiteral("--server"),   server.host + QLatin1Char(':') + QString::number(server.port),
            QStringLiteral("--database"), database,
            QStringLiteral("--login"),    server.user,
            QStringLiteral("--password"), server.password};
}

// How the whole road reaches the server: the operator's init and apply, and the clients' sync.
enum class Route {
    Direct,    // everything on the server itself
    PgBouncer, // everything through PgBouncer in transaction pooling
    Standby,   // init and apply on the server, sync from its hot standby
};

std::string routeName(const ::testing::TestParamInfo<Route>& info) {
    switch (info.param) {
    case Route::Direct:
        return "Direct";
    case Route::PgBouncer:
        return "PgBouncer";
    case Route::Standby:
        return "Standby";
    }
    return "Unknown";
}

class SyncWholeRoad : public ::testing::TestWithParam<Route> {
protected:
    void SetUp() override {
        const std::optional<PostgresServer> found = postgresServer();
        if (!found) {
            if (serversRequired())
                FAIL() << "no PostgreSQL server configured (TARNLOW_TEST_PG_HOST)";
            GTEST_SKIP() << "no PostgreSQL server configured";
        }
        server = *found;
        database = createPostgresDatabase(server);
        ASSERT_FALSE(database.isEmpty());
        operatorConnection = clientConnection = postgresConnection(server, database);
        if (GetParam() == Route::PgBouncer) {
            const std::optional<int> port = pgbouncerPort();
            TARNLOW_REQUIRE_PORT(port, "PgBouncer (TARNLOW_TEST_PGBOUNCER_PORT)");
            operatorConnection = clientConnection = postgresConnection(onPort(server, *port), database);
        } else if (GetParam() == Route::Standby) {
            const std::optional<int> port = standbyPort();
            TARNLOW_REQUIRE_PORT(port, "hot standby (TARNLOW_TEST_PG_STANDBY_PORT)");
            clientConnection = postgresConnection(onPort(server, *port), database);
            standby = onPort(server, *port);
        }
    }

    // Before the clients sync from a standby, it has replayed everything the server committed.
    void waitForStandby() {
        if (!standby)
            return;
        Transaction primary;
        primary.DBMS = kDbmsPostgreSql;
        primary.ServerName = server.host + QLatin1Char(':') + QString::number(server.port);
        primary.Database = database;
        primary.LogID = server.user;
        primary.LogPass = server.password;
        ASSERT_EQ(primary.connect(), kSqlSuccess) << primary.SQLErrText.toStdString();
        const auto written = primary.selectInto(QStringLiteral("SELECT pg_current_wal_lsn()::text"));
        ASSERT_TRUE(written.has_value()) << primary.SQLErrText.toStdString();
        Transaction replica;
        replica.DBMS = kDbmsPostgreSql;
        replica.ServerName = standby->host + QLatin1Char(':') + QString::number(standby->port);
        replica.Database = database;
        replica.LogID = server.user;
        replica.LogPass = server.password;
        ASSERT_EQ(replica.connect(), kSqlSuccess) << replica.SQLErrText.toStdString();
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            const auto replayed = replica.selectInto(
                QStringLiteral("SELECT pg_last_wal_replay_lsn() >= CAST(? AS pg_lsn)"), {written->first()});
            ASSERT_TRUE(replayed.has_value()) << replica.SQLErrText.toStdString();
            if (replayed->first().toBool())
                return;
            ASSERT_LT(clock.elapsed(), 60000) << "the standby did not catch up";
            QThread::msleep(20);
        }
    }

    PostgresServer server;
    std::optional<PostgresServer> standby;
    QString database;
    QStringList operatorConnection;
    QStringList clientConnection;
};

// pack, then apply on PostgreSQL, then sync into two client folders, each with its own settings.
TEST_P(SyncWholeRoad, PackApplyOnPostgresAndSyncTwoClientsByteIdentical) {
    ScratchFolder scratch;
    const QString operatorRegistry = scratch.file(QStringLiteral("operator.ini"));

    CliRun run = runCli(QStringList{QStringLiteral("init")} + operatorConnection, operatorRegistry);
    ASSERT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();

    // Four files: small, one piece exactly, past 64 KB, and several megabytes.
    const QList<qsizetype> sizes{10, 32765, 70000, 5 * 1024 * 1024};
    QStringList packArguments{
        QStringLiteral("pack"),  QStringLiteral("--output"), scratch.file(QStringLiteral("road.fuf")),
        QStringLiteral("--ver"), QStringLiteral("12"),       QStringLiteral("--comp"),
        QStringLiteral("3")};
    QStringList names;
    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("source")));
    for (int i = 0; i < sizes.size(); ++i) {
        const QString name = QStringLiteral("part%1.dat").arg(i + 1);
        ASSERT_TRUE(scratch.write(QStringLiteral("source/") + name, patternBytes(sizes.at(i), 500 + i)));
        packArguments << QStringLiteral("--file%1").arg(i + 1)
                      << scratch.file(QStringLiteral("source/") + name);
        names.append(name);
    }
    run = runCli(packArguments, operatorRegistry);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    run = runCli(QStringList{QStringLiteral("apply"), scratch.file(QStringLiteral("road.fuf"))} +
                     operatorConnection,
                 operatorRegistry);
    ASSERT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    waitForStandby();

    for (const QString& client : {QStringLiteral("clientA"), QStringLiteral("clientB")}) {
        ASSERT_TRUE(QDir(scratch.path()).mkpath(client));
        const QString registry = scratch.file(client + QStringLiteral(".ini"));
        run = runCli(QStringList{QStringLiteral("sync"), QStringLiteral("--folder"), scratch.file(client)} +
                         clientConnection,
                     registry);
        ASSERT_EQ(run.exitCode, 0) << client.toStdString() << run.err.toStdString();
        for (const QString& name : names)
            EXPECT_TRUE(readFile(scratch.file(client + QLatin1Char('/') + name)) ==
                        readFile(scratch.file(QStringLiteral("source/") + name)))
                << client.toStdString() << "/" << name.toStdString();
        EXPECT_EQ(QDir(scratch.file(client)).entryList(QDir::Files | QDir::Hidden).size(), names.size());
        EXPECT_EQ(storedCompId(registry), QStringLiteral("3"));
    }
}

// The same road under a trusted key: keygen, pack, sign, apply, and two clients that check every file.
TEST_P(SyncWholeRoad, SignedPackageUnderATrustedKeyReachesTwoClientsByteIdentical) {
    ScratchFolder scratch;
    const QStringList& connection = operatorConnection;
    const QString operatorRegistry = scratch.file(QStringLiteral("operator.ini"));

    CliRun run = runCli({QStringLiteral("keygen"), QStringLiteral("--unencrypted"),
                         QStringLiteral("--public-key"), scratch.file(QStringLiteral("op.pub")),
                         QStringLiteral("--secret-key"), scratch.file(QStringLiteral("op.key"))},
                        operatorRegistry);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const PublicKey key = *parsePublicKey(scratch.read(QStringLiteral("op.pub")));
    const auto trustIn = [&key](const QString& registry) {
        ASSERT_TRUE(SettingsStore(registry).write(kSettingsKey, kTrustedKeysValue,
                                                  QString::fromLatin1(key.base64())));
    };
    trustIn(operatorRegistry);

    run = runCli(QStringList{QStringLiteral("init")} + connection, operatorRegistry);
    ASSERT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    const QList<qsizetype> sizes{10, 70000, 3 * 1024 * 1024};
    QStringList packArguments{QStringLiteral("pack"), QStringLiteral("--output"),
                              scratch.file(QStringLiteral("road.fuf")), QStringLiteral("--comp"),
                              QStringLiteral("4")};
    QStringList names;
    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("source")));
    for (int i = 0; i < sizes.size(); ++i) {
        const QString name = QStringLiteral("signed%1.dat").arg(i + 1);
        ASSERT_TRUE(scratch.write(QStringLiteral("source/") + name, patternBytes(sizes.at(i), 900 + i)));
        packArguments << QStringLiteral("--file%1").arg(i + 1)
                      << scratch.file(QStringLiteral("source/") + name);
        names.append(name);
    }
    ASSERT_EQ(runCli(packArguments, operatorRegistry).exitCode, 0);

    // Unsigned, the package is refused where a key is trusted, and nothing is stored.
    run = runCli(QStringList{QStringLiteral("apply"), scratch.file(QStringLiteral("road.fuf"))} + connection,
                 operatorRegistry);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("has no signature"))) << run.err.toStdString();

    run = runCli({QStringLiteral("sign"), scratch.file(QStringLiteral("road.fuf")),
                  QStringLiteral("--secret-key"), scratch.file(QStringLiteral("op.key"))},
                 operatorRegistry);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    run = runCli(QStringList{QStringLiteral("apply"), scratch.file(QStringLiteral("road.fuf"))} + connection,
                 operatorRegistry);
    ASSERT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("signature of key %1 verified").arg(key.id.text())))
        << run.out.toStdString();
    waitForStandby();

    for (const QString& client : {QStringLiteral("clientA"), QStringLiteral("clientB")}) {
        ASSERT_TRUE(QDir(scratch.path()).mkpath(client));
        const QString registry = scratch.file(client + QStringLiteral(".ini"));
        trustIn(registry);
        run = runCli(QStringList{QStringLiteral("sync"), QStringLiteral("--folder"), scratch.file(client)} +
                         clientConnection,
                     registry);
        ASSERT_EQ(run.exitCode, 0) << client.toStdString() << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(QStringLiteral("No trusted key"))) << run.err.toStdString();
        for (const QString& name : names)
            EXPECT_TRUE(readFile(scratch.file(client + QLatin1Char('/') + name)) ==
                        readFile(scratch.file(QStringLiteral("source/") + name)))
                << client.toStdString() << "/" << name.toStdString();
        EXPECT_EQ(QDir(scratch.file(client)).entryList(QDir::Files | QDir::Hidden).size(), names.size());
        EXPECT_EQ(storedCompId(registry), QStringLiteral("4"));
    }

    // A client that trusts no key gets the same files and is told once that they were not checked.
    const QString plainRegistry = scratch.file(QStringLiteral("clientC.ini"));
    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("clientC")));
    run = runCli(QStringList{QStringLiteral("sync"), QStringLiteral("--folder"),
                             scratch.file(QStringLiteral("clientC"))} +
                     clientConnection,
                 plainRegistry);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.err.count(QStringLiteral("No trusted key is set up")), 1) << run.err.toStdString();
    EXPECT_EQ(readFile(scratch.file(QStringLiteral("clientC/signed3.dat"))),
              patternBytes(3 * 1024 * 1024, 902));
}

// A server with three connection slots, all taken: sync says it waits, and completes once one slot
// is free, which it uses for all of its work.
TEST(SyncOnAFullServer, WaitsForAFreeConnectionAndCompletesOnOne) {
    const std::optional<int> port = smallServerPort();
    TARNLOW_REQUIRE_PORT(port, "small PostgreSQL server (TARNLOW_TEST_PG_SMALL_PORT)");
    const PostgresServer server = onPort(*postgresServer(), *port);
    ScratchFolder scratch;
    const QString database = createPostgresDatabase(server);
    ASSERT_FALSE(database.isEmpty());
    const QStringList connection = postgresConnection(server, database);
    const QString operatorRegistry = scratch.file(QStringLiteral("operator.ini"));
    ASSERT_TRUE(scratch.write(QStringLiteral("app.dll"), patternBytes(3 * 1024 * 1024, 77)));
    ASSERT_EQ(runCli(QStringList{QStringLiteral("init")} + connection, operatorRegistry).exitCode, 0);
    ASSERT_EQ(runCli({QStringLiteral("pack"), QStringLiteral("--output"),
                      scratch.file(QStringLiteral("p.fuf")), QStringLiteral("--comp"), QStringLiteral("5"),
                      QStringLiteral("--file1"), scratch.file(QStringLiteral("app.dll"))},
                     operatorRegistry)
                  .exitCode,
              0);
    const CliRun applied =
        runCli(QStringList{QStringLiteral("apply"), scratch.file(QStringLiteral("p.fuf"))} + connection,
               operatorRegistry);
    ASSERT_EQ(applied.exitCode, 0) << applied.err.toStdString();

    std::vector<std::unique_ptr<Transaction>> holders = takeEverySlot(server, database);
    ASSERT_FALSE(holders.empty());

    ASSERT_TRUE(QDir(scratch.path()).mkpath(QStringLiteral("client")));
    QProcess sync;
    sync.setProcessEnvironment(environmentWithRegistry(scratch.file(QStringLiteral("client.ini"))));
    sync.start(cliProgram(), QStringList{QStringLiteral("sync"), QStringLiteral("--folder"),
                                         scratch.file(QStringLiteral("client"))} +
                                 connection);
    ASSERT_TRUE(sync.waitForStarted());
    QByteArray err;
    QElapsedTimer clock;
    clock.start();
    while (!err.contains("The server is busy") && sync.state() == QProcess::Running &&
           clock.elapsed() < 60000) {
        sync.waitForReadyRead(100);
        err += sync.readAllStandardError();
    }
    ASSERT_TRUE(err.contains("The server is busy")) << err.toStdString();
    ASSERT_EQ(sync.state(), QProcess::Running);
    holders.pop_back();
    ASSERT_TRUE(sync.waitForFinished(120000));
    err += sync.readAllStandardError();
    EXPECT_EQ(sync.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(readFile(scratch.file(QStringLiteral("client/app.dll"))), patternBytes(3 * 1024 * 1024, 77));
}

INSTANTIATE_TEST_SUITE_P(Routes, SyncWholeRoad,
                         ::testing::Values(Route::Direct, Route::PgBouncer, Route::Standby), routeName);

} // namespace
