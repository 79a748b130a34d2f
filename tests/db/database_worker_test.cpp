#include "db/database_worker.h"

#include "db/transaction.h"
#include "support/database_backends.h"
#include "support/silent_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSqlDatabase>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

using namespace tarnlow;

namespace {

// Runs the event loop until `done` holds or `timeoutMs` passed; whether it holds.
template <typename Predicate> bool runUntil(Predicate done, int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

ConnectionSettings sqliteSettings(const test::ScratchFolder& scratch) {
    ConnectionSettings settings;
    settings.dbms = kDbmsSqlite;
    settings.database = scratch.file(QStringLiteral("worker.db"));
    return settings;
}

// A connection attempt to a server that accepts and never answers. The attempt ends when the test
// closes the server; its login timeout of a minute, far beyond what the tests take, ends it only
// when something waits for it that should not.
ConnectionSettings silentSettings(const test::SilentServer& silent) {
    ConnectionSettings settings;
    settings.dbms = kDbmsPostgreSql;
    settings.serverName = QStringLiteral("127.0.0.1:%1").arg(silent.port());
    settings.database = QStringLiteral("nothing");
    settings.login = QStringLiteral("nobody");
    settings.dbParm = QStringLiteral("Timeout=60");
    return settings;
}

TEST(DatabaseWorker, RunsOnItsOwnThreadAndDeliversStepsInOrderWhileTheCallerKeepsRunning) {
    test::ScratchFolder scratch;
    DatabaseWorker worker(sqliteSettings(scratch));
    QList<int> delivered;
    std::atomic<bool> otherThread{false};
    bool finished = false;
    QObject::connect(&worker, &DatabaseWorker::finished, &worker, [&] { finished = true; });

    // Halfway through, the job waits for the caller's timer to answer it: the caller keeps
    // running while the job is busy. A job run on the caller's thread would wait in vain.
    std::atomic<bool> asked{false};
    std::atomic<bool> answered{false};
    std::atomic<bool> sawAnswer{false};
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
        if (asked.load())
            answered = true;
    });
    ticker.start(10);

    const QThread* caller = QThread::currentThread();
    ASSERT_TRUE(worker.start([&](DatabaseWorker::Job& job) {
        otherThread = QThread::currentThread() != caller;
        Transaction& connection = job.connection();
        if (connection.connect() != kSqlSuccess)
            return;
        connection.execute(QStringLiteral("create table t (n integer)"));
        for (int i = 1; i <= 20; ++i) {
            connection.execute(QStringLiteral("insert into t values (?)"), {i});
            job.post([&delivered, i] { delivered.append(i); });
            if (i == 10) {
                asked = true;
                QElapsedTimer waited;
                waited.start();
                while (!answered.load() && waited.elapsed() < 20000)
                    QThread::msleep(1);
                sawAnswer = answered.load();
            }
        }
    }));
    EXPECT_TRUE(worker.isRunning());
    EXPECT_FALSE(worker.start([](DatabaseWorker::Job&) {})) << "one job at a time";
    ASSERT_TRUE(runUntil([&] { return finished; }, 60000));
    EXPECT_TRUE(otherThread);
    EXPECT_TRUE(sawAnswer) << "the caller's timer did not fire while the job waited for it";
    EXPECT_FALSE(worker.isRunning());
    QList<int> expected;
    for (int i = 1; i <= 20; ++i)
        expected.append(i);
    EXPECT_EQ(delivered, expected);

    // The job's connection was its own and is gone with it; the rows are in the file.
    Transaction check;
    sqliteSettings(scratch).applyTo(check);
    ASSERT_EQ(check.connect(), kSqlSuccess);
    EXPECT_EQ(check.selectInto(QStringLiteral("select count(*) from t"))->at(0).toInt(), 20);
    EXPECT_TRUE(DatabaseWorker::waitForAllJobs(std::chrono::seconds(5)));
}

TEST(DatabaseWorker, CancelIsSeenByTheJobAndItsLastStepsStillArrive) {
    test::ScratchFolder scratch;
    DatabaseWorker worker(sqliteSettings(scratch));
    bool stoppedStep = false;
    bool finished = false;
    QObject::connect(&worker, &DatabaseWorker::finished, &worker, [&] { finished = true; });
    std::atomic<bool> running{false};
    ASSERT_TRUE(worker.start([&](DatabaseWorker::Job& job) {
        running = true;
        while (!job.cancelRequested())
            QThread::msleep(5);
        job.post([&] { stoppedStep = true; });
    }));
    ASSERT_TRUE(runUntil([&] { return running.load(); }));
    EXPECT_FALSE(worker.cancelRequested());
    worker.requestCancel();
    EXPECT_TRUE(worker.cancelRequested());
    ASSERT_TRUE(runUntil([&] { return finished; }));
    EXPECT_TRUE(stoppedStep);
}

// A connection attempt that cannot be interrupted is left to end on its own: the caller is free
// at once, nothing of the abandoned job arrives, and a new job works meanwhile.
TEST(DatabaseWorker, AnAbandonedAttemptDeliversNothingAndANewJobRunsMeanwhile) {
    auto silent = std::make_unique<test::SilentServer>();
    ASSERT_GT(silent->port(), 0);
    test::ScratchFolder scratch;
    auto worker = std::make_unique<DatabaseWorker>(silentSettings(*silent));
    // Shared with the job, which may outlive this test's frame if an assertion ends it early.
    auto delivered = std::make_shared<std::atomic<bool>>(false);
    auto attemptStarted = std::make_shared<std::atomic<bool>>(false);
    auto attemptEnded = std::make_shared<std::atomic<bool>>(false);
    bool finished = false;
    QObject::connect(worker.get(), &DatabaseWorker::finished, worker.get(), [&] { finished = true; });
    const int jobsBefore = DatabaseWorker::runningJobs();
    ASSERT_TRUE(worker->start([delivered, attemptStarted, attemptEnded](DatabaseWorker::Job& job) {
        *attemptStarted = true;
        job.connection().connect();
        *attemptEnded = true;
        job.post([delivered] { *delivered = true; });
    }));
    ASSERT_TRUE(runUntil([&] { return attemptStarted->load(); }));
    // The caller is free at once: the attempt still waits for its server when abandon() returns.
    worker->abandon();
    EXPECT_FALSE(attemptEnded->load());
    EXPECT_FALSE(worker->isRunning());
    EXPECT_EQ(DatabaseWorker::runningJobs(), jobsBefore + 1);

    // The same worker takes a new job while the old one still waits for its server.
    bool secondDone = false;
    ASSERT_TRUE(
        worker->start([&](DatabaseWorker::Job& job) { job.post([&secondDone] { secondDone = true; }); }));
    ASSERT_TRUE(runUntil([&] { return finished; }));
    EXPECT_TRUE(secondDone);
    EXPECT_FALSE(attemptEnded->load());

    // The abandoned attempt ends when its server goes away and delivers nothing, also after the
    // worker object is gone.
    worker.reset();
    silent.reset();
    ASSERT_TRUE(runUntil([&] { return attemptEnded->load(); }, 60000));
    EXPECT_TRUE(DatabaseWorker::waitForAllJobs(std::chrono::seconds(60)));
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered->load());
}

TEST(DatabaseWorker, WaitForAllJobsGivesUpAfterItsBound) {
    auto silent = std::make_unique<test::SilentServer>();
    ASSERT_GT(silent->port(), 0);
    DatabaseWorker worker(silentSettings(*silent));
    ASSERT_TRUE(worker.start([](DatabaseWorker::Job& job) { job.connection().connect(); }));
    // The job cannot end before its server goes away, so the wait ends by its bound, not before.
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(DatabaseWorker::waitForAllJobs(std::chrono::milliseconds(300)));
    EXPECT_GE(timer.elapsed(), 300);
    worker.abandon();
    silent.reset();
    EXPECT_TRUE(DatabaseWorker::waitForAllJobs(std::chrono::seconds(60)));
}

// A connection opened on a worker's thread becomes the caller's connection.
TEST(DatabaseWorker, AConnectionHandedOverIsUsedOnTheCallersThreadOrClosedWhenDropped) {
    test::ScratchFolder scratch;
    DatabaseWorker worker(sqliteSettings(scratch));
    std::shared_ptr<Transaction::HandedOverConnection> handed;
    bool finished = false;
    QObject::connect(&worker, &DatabaseWorker::finished, &worker, [&] { finished = true; });
    ASSERT_TRUE(worker.start([&](DatabaseWorker::Job& job) {
        Transaction& connection = job.connection();
        if (connection.connect() != kSqlSuccess)
            return;
        connection.execute(QStringLiteral("create table t (n integer)"));
        auto connectionHandedOver = connection.handOver(job.startingThread());
        job.post([&handed, connectionHandedOver] { handed = connectionHandedOver; });
    }));
    ASSERT_TRUE(runUntil([&] { return finished; }));
    ASSERT_TRUE(handed);

    Transaction sqlca;
    ASSERT_TRUE(sqlca.takeOver(handed));
    EXPECT_TRUE(sqlca.isConnected());
    EXPECT_GT(sqlca.dbhandle(), 0);
    EXPECT_EQ(sqlca.Database, scratch.file(QStringLiteral("worker.db")));
    EXPECT_EQ(sqlca.execute(QStringLiteral("insert into t values (1)")), kSqlSuccess)
        << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(sqlca.selectInto(QStringLiteral("select count(*) from t"))->at(0).toInt(), 1);
    // Taken once only.
    Transaction other;
    EXPECT_FALSE(other.takeOver(handed));
    EXPECT_LT(other.SQLCode, 0);

    // A connection nobody takes over is closed when dropped.
    const qsizetype namesBefore = QSqlDatabase::connectionNames().size();
    Transaction opened;
    sqliteSettings(scratch).applyTo(opened);
    ASSERT_EQ(opened.connect(), kSqlSuccess);
    auto dropped = opened.handOver(QThread::currentThread());
    ASSERT_TRUE(dropped);
    EXPECT_FALSE(opened.isConnected());
    EXPECT_EQ(QSqlDatabase::connectionNames().size(), namesBefore + 1);
    dropped.reset();
    EXPECT_EQ(QSqlDatabase::connectionNames().size(), namesBefore);
    // Nothing to hand over inside a transaction.
    ASSERT_EQ(opened.connect(), kSqlSuccess);
    ASSERT_EQ(opened.begin(), kSqlSuccess);
    EXPECT_FALSE(opened.handOver(QThread::currentThread()));
}

// A statement that would run for minutes (a lock wait, a long script) is stopped by the cancel
// request when the job asked for it; the statement fails and the job ends.
class WorkerInterruptTest : public ::testing::TestWithParam<test::Backend> {};

TEST_P(WorkerInterruptTest, CancelStopsTheRunningStatementOfAJobThatAskedForIt) {
    const test::BackendDatabase database(GetParam());
    TARNLOW_REQUIRE_BACKEND(database);
    const bool postgres = GetParam() == test::Backend::Postgres;
    // A second connection sees the statement under way: on PostgreSQL as an active query of the
    // job's session, on SQLite by the write lock that the statement takes as it starts.
    Transaction configured;
    database.configure(configured);
    DatabaseWorker worker(ConnectionSettings::of(configured));
    Transaction observer;
    database.configure(observer);
    observer.DBParm = QStringLiteral("Timeout=1");
    ASSERT_EQ(observer.connect(), kSqlSuccess) << observer.SQLErrText.toStdString();
    if (!postgres) {
        ASSERT_EQ(observer.executeImmediate(QStringLiteral("CREATE TABLE t_count (n integer)")), kSqlSuccess);
    }
    const QString endless =
        postgres
            ? QStringLiteral("SELECT pg_sleep(120)")
            : QStringLiteral("INSERT INTO t_count SELECT count(*) FROM (WITH RECURSIVE c(x) AS (SELECT 1 "
                             "UNION ALL SELECT x + 1 FROM c WHERE x < 4000000000) SELECT x FROM c)");
    std::atomic<qint64> session{0};
    std::atomic<bool> connected{false};
    bool finished = false;
    int code = kSqlSuccess;
    QString text;
    QObject::connect(&worker, &DatabaseWorker::finished, &worker, [&] { finished = true; });
    ASSERT_TRUE(worker.start([&](DatabaseWorker::Job& job) {
        Transaction& connection = job.connection();
        if (connection.connect() != kSqlSuccess) {
            job.post([&, failure = connection.SQLErrText] { text = failure; });
            return;
        }
        job.interruptStatementsOnCancel();
        if (postgres)
            session = connection.selectInto(QStringLiteral("SELECT pg_backend_pid()"))->at(0).toLongLong();
        connected = true;
        const int result = connection.execute(endless);
        job.post([&, result, failure = connection.SQLErrText] {
            code = result;
            text = failure;
        });
    }));
    ASSERT_TRUE(runUntil([&] { return connected.load() || finished; })) << text.toStdString();
    const auto underWay = [&] {
        if (postgres) {
            const auto row = observer.selectInto(
                QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE pid = ? AND state = 'active'"),
                {session.load()});
            return row && row->at(0).toInt() == 1;
        }
        // Until the statement holds the write lock, the observer takes it (and gives it back).
        if (observer.beginLocked(QStringLiteral("observer")) != kSqlSuccess)
            return true;
        observer.rollback();
        return false;
    };
    ASSERT_TRUE(runUntil(underWay, 60000));
    worker.requestCancel();
    ASSERT_TRUE(runUntil([&] { return finished; }, 60000));
    EXPECT_LT(code, 0);
    EXPECT_FALSE(text.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Backends, WorkerInterruptTest,
                         ::testing::Values(test::Backend::Sqlite, test::Backend::Postgres),
                         test::backendTestName);

} // namespace
