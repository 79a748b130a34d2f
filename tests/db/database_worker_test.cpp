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

// A connection attempt to a server that accepts and never answers, with a long login timeout.
ConnectionSettings silentSettings(const test::SilentServer& silent) {
    ConnectionSettings settings;
    settings.dbms = kDbmsPostgreSql;
    settings.serverName = QStringLiteral("127.0.0.1:%1").arg(silent.port());
    settings.database = QStringLiteral("nothing");
    settings.login = QStringLiteral("nobody");
    settings.dbParm = QStringLiteral("Timeout=4");
    return settings;
}

TEST(DatabaseWorker, RunsOnItsOwnThreadAndDeliversStepsInOrderWhileTheCallerKeepsRunning) {
    test::ScratchFolder scratch;
    DatabaseWorker worker(sqliteSettings(scratch));
    QList<int> delivered;
    std::atomic<bool> otherThread{false};
    bool finished = false;
    QObject::connect(&worker, &DatabaseWorker::finished, &worker, [&] { finished = true; });

    // The caller's timer keeps firing while the job is busy for a while.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] { ++ticks; });
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
            QThread::msleep(10);
            job.post([&delivered, i] { delivered.append(i); });
        }
    }));
    EXPECT_TRUE(worker.isRunning());
    EXPECT_FALSE(worker.start([](DatabaseWorker::Job&) {})) << "one job at a time";
    ASSERT_TRUE(runUntil([&] { return finished; }));
    EXPECT_TRUE(otherThread);
    EXPECT_FALSE(worker.isRunning());
    QList<int> expected;
    for (int i = 1; i <= 20; ++i)
        expected.append(i);
    EXPECT_EQ(delivered, expected);
    EXPECT_GE(ticks, 5);

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
    test::SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    test::ScratchFolder scratch;
    auto worker = std::make_unique<DatabaseWorker>(silentSettings(silent));
    // Shared with the job, which may outlive this test's frame if an assertion ends it early.
    auto delivered = std::make_shared<std::atomic<bool>>(false);
    auto attemptEnded = std::make_shared<std::atomic<bool>>(false);
    bool finished = false;
    QObject::connect(worker.get(), &DatabaseWorker::finished, worker.get(), [&] { finished = true; });
    const int jobsBefore = DatabaseWorker::runningJobs();
    ASSERT_TRUE(worker->start([delivered, attemptEnded](DatabaseWorker::Job& job) {
        job.connection().connect();
        *attemptEnded = true;
        job.post([delivered] { *delivered = true; });
    }));
    QThread::msleep(200);
    QElapsedTimer timer;
    timer.start();
    worker->abandon();
    EXPECT_LT(timer.elapsed(), 100);
    EXPECT_FALSE(worker->isRunning());
    EXPECT_EQ(DatabaseWorker::runningJobs(), jobsBefore + 1);

    // The same worker takes a new job while the old one still waits for its server.
    bool secondDone = false;
    ASSERT_TRUE(
        worker->start([&](DatabaseWorker::Job& job) { job.post([&secondDone] { secondDone = true; }); }));
    ASSERT_TRUE(runUntil([&] { return finished; }, 3000));
    EXPECT_TRUE(secondDone);
    EXPECT_FALSE(attemptEnded->load());

    // The abandoned attempt ends by its login timeout and delivers nothing, also after the
    // worker object is gone.
    worker.reset();
    ASSERT_TRUE(runUntil([&] { return attemptEnded->load(); }, 15000));
    EXPECT_TRUE(DatabaseWorker::waitForAllJobs(std::chrono::seconds(10)));
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered->load());
}

TEST(DatabaseWorker, WaitForAllJobsGivesUpAfterItsBound) {
    test::SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    DatabaseWorker worker(silentSettings(silent));
    ASSERT_TRUE(worker.start([](DatabaseWorker::Job& job) { job.connection().connect(); }));
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(DatabaseWorker::waitForAllJobs(std::chrono::milliseconds(300)));
    EXPECT_GE(timer.elapsed(), 250);
    EXPECT_LT(timer.elapsed(), 2000);
    worker.abandon();
    EXPECT_TRUE(DatabaseWorker::waitForAllJobs(std::chrono::seconds(10)));
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
// request when the job asked for it; the statement fails and the job ends at once.
class WorkerInterruptTest : public ::testing::TestWithParam<test::Backend> {};

TEST_P(WorkerInterruptTest, CancelStopsTheRunningStatementOfAJobThatAskedForIt) {
    const test::BackendDatabase database(GetParam());
    TARNLOW_REQUIRE_BACKEND(database);
    Transaction configured;
    database.configure(configured);
    DatabaseWorker worker(ConnectionSettings::of(configured));
    const QString endless =
        GetParam() == test::Backend::Postgres
            ? QStringLiteral("SELECT pg_sleep(120)")
            : QStringLiteral(
                  "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 4000000000) "
                  "SELECT count(*) FROM c");
    std::atomic<bool> running{false};
    bool finished = false;
    int code = kSqlSuccess;
    QString text;
    qint64 ranMs = -1;
    QObject::connect(&worker, &DatabaseWorker::finished, &worker, [&] { finished = true; });
    ASSERT_TRUE(worker.start([&](DatabaseWorker::Job& job) {
        if (job.connection().connect() != kSqlSuccess) {
            job.post([&, failure = job.connection().SQLErrText] { text = failure; });
            return;
        }
        job.interruptStatementsOnCancel();
        QElapsedTimer clock;
        clock.start();
        running = true;
        const std::optional<QVariantList> row = job.connection().selectInto(endless);
        job.post([&, failed = !row, failure = job.connection().SQLErrText, elapsed = clock.elapsed()] {
            code = failed ? -1 : kSqlSuccess;
            text = failure;
            ranMs = elapsed;
        });
    }));
    ASSERT_TRUE(runUntil([&] { return running.load(); })) << text.toStdString();
    // Long enough for the statement to be under way.
    QThread::msleep(300);
    worker.requestCancel();
    ASSERT_TRUE(runUntil([&] { return finished; }, 15000));
    EXPECT_EQ(code, -1);
    EXPECT_FALSE(text.isEmpty());
    EXPECT_GE(ranMs, 300);
    EXPECT_LT(ranMs, 10000);
}

INSTANTIATE_TEST_SUITE_P(Backends, WorkerInterruptTest,
                         ::testing::Values(test::Backend::Sqlite, test::Backend::Postgres),
                         test::backendTestName);

} // namespace
