// Waiting for a free connection: which failures count as a busy server, the delays between
// attempts, and the real thing against a server that takes three connections at most.

#include "support/database_backends.h"

#include "db/connect_retry.h"
#include "db/postgres_statement.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tarnlow;
using namespace tarnlow::test;
using std::chrono::milliseconds;

namespace {

// A loopback port that nothing listens on: bound once to learn a free one, then closed.
int closedPort() {
    const int descriptor = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(descriptor);
    return port;
}

TEST(ConnectRetry, OnlyABusyServerIsTriedAgain) {
    struct Case {
        DbmsKind kind;
        int code;
        const char* text;
        bool busy;
    };
    const Case cases[] = {
        {DbmsKind::PostgreSQL, 0,
         "connection to server at \"127.0.0.1\", port 5432 failed: FATAL:  sorry, too many clients already",
         true},
        {DbmsKind::PostgreSQL, 0,
         "FATAL:  remaining connection slots are reserved for non-replication superuser "
         "connections",
         true},
        {DbmsKind::PostgreSQL, 0, "FATAL:  too many connections for role \"game\"", true},
        {DbmsKind::PostgreSQL, 0, "FATAL:  the database system is starting up", true},
        {DbmsKind::PostgreSQL, 0, "FATAL:  the database system is shutting down", true},
        {DbmsKind::PostgreSQL, 0, "FATAL:  the database system is not yet accepting connections", true},
        {DbmsKind::PostgreSQL, 53300, "ERROR:  whatever the server says", true},
        {DbmsKind::PostgreSQL, 0, "ERROR:  no more connections allowed (max_client_conn)", true},
        {DbmsKind::PostgreSQL, 0,
         "connection to server at \"127.0.0.1\", port 5999 failed: Connection refused\n\tIs the server "
         "running on "
         "that host and accepting TCP/IP connections?",
         true},
        {DbmsKind::PostgreSQL, 0, "server closed the connection unexpectedly", true},
        {DbmsKind::PostgreSQL, 0, "FATAL:  password authentication failed for user \"game\"", false},
        {DbmsKind::PostgreSQL, 0, "FATAL:  database \"nothing\" does not exist", false},
        {DbmsKind::PostgreSQL, 0,
         "could not translate host name \"nowhere.invalid\" to address: Name or service "
         "not known",
         false},
        {DbmsKind::PostgreSQL, 0, "FATAL:  no pg_hba.conf entry for host \"10.0.0.1\"", false},
        {DbmsKind::PostgreSQL, 0,
         "connection to server on socket \"/tmp/.s.PGSQL.5432\" failed: No such file or "
         "directory",
         false},
        {DbmsKind::SqlServer, 17809,
         "Could not connect because the maximum number of user connections has "
         "already been reached",
         true},
        {DbmsKind::SqlServer, 10928, "Resource ID : 1. The request limit for the database is 30", true},
        {DbmsKind::SqlServer, 10929, "Resource ID : 1. The min guarantee is 0", true},
        {DbmsKind::SqlServer, 18456, "Login failed for user 'sa'.", false},
        {DbmsKind::SqlServer, 4060, "Cannot open database \"game\" requested by the login.", false},
        {DbmsKind::SqlServer, 20009, "Unable to connect: Adaptive Server is unavailable (Connection refused)",
         true},
        {DbmsKind::Odbc, 17809, "maximum number of user connections", true},
        {DbmsKind::Odbc, 0, "FATAL: sorry, too many clients already", true},
        {DbmsKind::Odbc, 0, "[unixODBC][Driver Manager]Data source name not found", false},
        {DbmsKind::SQLite, 0, "unable to open database file", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isBusyFailure(c.kind, c.code, QString::fromUtf8(c.text)), c.busy) << c.text;
}

TEST(ConnectRetry, DelaysDoubleUpToTheLongestWithUpToHalfTakenOff) {
    ConnectRetry retry;
    const milliseconds doubled[] = {milliseconds(200),  milliseconds(400),  milliseconds(800),
                                    milliseconds(1600), milliseconds(3200), milliseconds(5000),
                                    milliseconds(5000)};
    for (int attempt = 1; attempt <= 7; ++attempt) {
        const milliseconds full = doubled[attempt - 1];
        EXPECT_EQ(retryDelay(attempt, retry, 0.0), full) << attempt;
        EXPECT_EQ(retryDelay(attempt, retry, 1.0), full / 2) << attempt;
        const milliseconds some = retryDelay(attempt, retry, 0.37);
        EXPECT_LT(some, full);
        EXPECT_GT(some, full / 2);
    }
    EXPECT_EQ(retryDelay(1000, retry, 0.0), milliseconds(5000));
}

TEST(BoundStatements, QuestionMarksBecomeNumberedPlaceholdersOutsideQuotesAndComments) {
    struct Case {
        const char* sql;
        const char* numbered;
        int count;
    };
    const Case cases[] = {
        {"SELECT a FROM t WHERE b = ? AND c > ?", "SELECT a FROM t WHERE b = $1 AND c > $2", 2},
        {"SELECT '?', \"wh?\", ? FROM t", "SELECT '?', \"wh?\", $1 FROM t", 1},
        {"SELECT 'it''s ?' || ?", "SELECT 'it''s ?' || $1", 1},
        {"SELECT E'\\' ?' || ?", "SELECT E'\\' ?' || $1", 1},
        {"SELECT ? -- why?\n, ?", "SELECT $1 -- why?\n, $2", 2},
        {"SELECT /* ? */ ?", "SELECT /* ? */ $1", 1},
        {"DO $body$ SELECT '?' $body$; SELECT ?", "DO $body$ SELECT '?' $body$; SELECT $1", 1},
        {"SELECT $$?$$, ?", "SELECT $$?$$, $1", 1},
        {"SELECT 'open ?", "SELECT 'open ?", 0},
    };
    for (const Case& c : cases) {
        int count = -1;
        EXPECT_EQ(numberedPlaceholders(QString::fromUtf8(c.sql), count), QString::fromUtf8(c.numbered))
            << c.sql;
        EXPECT_EQ(count, c.count) << c.sql;
    }
}

// Connections that fill the small server, and clients that wait for one of its slots.
class SmallServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::optional<int> port = smallServerPort();
        TARNLOW_REQUIRE_PORT(port, "small PostgreSQL server (TARNLOW_TEST_PG_SMALL_PORT)");
        server = onPort(*postgresServer(), *port);
    }
    void configure(Transaction& sqlca) const {
        sqlca.DBMS = kDbmsPostgreSql;
        sqlca.ServerName = server.host + QLatin1Char(':') + QString::number(server.port);
        sqlca.Database = QStringLiteral("postgres");
        sqlca.LogID = server.user;
        sqlca.LogPass = server.password;
    }
    void fill() {
        holders = takeEverySlot(server, QStringLiteral("postgres"));
        ASSERT_FALSE(holders.empty());
    }

    // A client connecting on a thread of its own, reporting its waits.
    struct Client {
        std::mutex mutex;
        std::condition_variable changed;
        int waits = 0;
        bool done = false;
        int code = 0;
        QString text;
        std::atomic<bool> cancel{false};
        QThread* thread = nullptr;

        bool waitFor(const std::function<bool()>& condition) {
            std::unique_lock lock(mutex);
            // Generous: the first wait comes within a second here.
            return changed.wait_for(lock, std::chrono::seconds(60), condition);
        }
        ~Client() {
            if (thread) {
                cancel = true;
                thread->wait();
                delete thread;
            }
        }
    };
    void start(Client& client, milliseconds deadline) {
        ConnectRetry retry;
        retry.deadline = deadline;
        retry.cancelled = [&client] { return client.cancel.load(); };
        retry.waiting = [&client](const ConnectWait& wait) {
            EXPECT_TRUE(wait.reason.contains(QStringLiteral("too many clients")))
                << wait.reason.toStdString();
            EXPECT_GT(wait.delay.count(), 0);
            const std::lock_guard lock(client.mutex);
            ++client.waits;
            client.changed.notify_all();
        };
        client.thread = QThread::create([this, &client, retry] {
            Transaction sqlca;
            configure(sqlca);
            connectWhenFree(sqlca, retry);
            const std::lock_guard lock(client.mutex);
            client.code = sqlca.SQLCode;
            client.text = sqlca.SQLErrText;
            client.done = true;
            client.changed.notify_all();
        });
        client.thread->start();
    }

    PostgresServer server;
    std::vector<std::unique_ptr<Transaction>> holders;
};

TEST_F(SmallServerTest, AClientWaitsWhileTheServerIsFullAndConnectsOnceASlotIsFree) {
    fill();
    Client client;
    start(client, std::chrono::seconds(120));
    ASSERT_TRUE(client.waitFor([&] { return client.waits >= 2 || client.done; }));
    EXPECT_FALSE(client.done) << client.text.toStdString();
    holders.pop_back();
    ASSERT_TRUE(client.waitFor([&] { return client.done; }));
    EXPECT_EQ(client.code, kSqlSuccess) << client.text.toStdString();
}

TEST_F(SmallServerTest, CancelStopsTheWaitingAtOnceAndTheDeadlineEndsIt) {
    fill();
    Client cancelled;
    start(cancelled, std::chrono::seconds(120));
    ASSERT_TRUE(cancelled.waitFor([&] { return cancelled.waits >= 1 || cancelled.done; }));
    QElapsedTimer clock;
    clock.start();
    cancelled.cancel = true;
    ASSERT_TRUE(cancelled.waitFor([&] { return cancelled.done; }));
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(cancelled.code, kSqlFailure);
    EXPECT_EQ(cancelled.text, connectCancelledText());

    Client late;
    start(late, milliseconds(700));
    ASSERT_TRUE(late.waitFor([&] { return late.done; }));
    EXPECT_EQ(late.code, kSqlFailure);
    EXPECT_GE(late.waits, 1);
    EXPECT_TRUE(late.text.contains(QStringLiteral("too many clients"))) << late.text.toStdString();
    EXPECT_TRUE(late.text.contains(QStringLiteral("the server was busy at each of")))
        << late.text.toStdString();
}

TEST_F(SmallServerTest, AWrongPasswordUnknownDatabaseOrUnknownHostIsNeverTriedAgain) {
    int waits = 0;
    ConnectRetry retry;
    retry.waiting = [&waits](const ConnectWait&) { ++waits; };
    const auto attempt = [&](const std::function<void(Transaction&)>& spoil, const char* expected) {
        Transaction sqlca;
        configure(sqlca);
        spoil(sqlca);
        EXPECT_EQ(connectWhenFree(sqlca, retry), kSqlFailure);
        EXPECT_TRUE(sqlca.SQLErrText.contains(QLatin1String(expected))) << sqlca.SQLErrText.toStdString();
        EXPECT_EQ(waits, 0) << expected;
    };
    attempt([](Transaction& sqlca) { sqlca.LogPass = QStringLiteral("wrong"); },
            "password authentication failed");
    attempt([](Transaction& sqlca) { sqlca.Database = QStringLiteral("no_such_database"); },
            "does not exist");
    attempt([](Transaction& sqlca) { sqlca.ServerName = QStringLiteral("no-such-host.invalid"); },
            "could not translate host name");

    // Nothing listens: refused, as while a server restarts, so it is tried until the deadline.
    const int port = closedPort();
    ASSERT_GT(port, 0);
    Transaction refused;
    configure(refused);
    refused.ServerName = QStringLiteral("127.0.0.1:%1").arg(port);
    retry.deadline = milliseconds(500);
    EXPECT_EQ(connectWhenFree(refused, retry), kSqlFailure);
    EXPECT_TRUE(refused.SQLErrText.contains(QStringLiteral("Connection refused")))
        << refused.SQLErrText.toStdString();
    EXPECT_GE(waits, 1);
}

// Bound statements through the transaction pool: each one may meet another server connection, so
// nothing may be prepared by name for the next.
TEST(PooledConnections, BoundStatementsOfClientsSharingServerConnectionsAllWork) {
    BackendDatabase database(Backend::PgBouncer);
    TARNLOW_REQUIRE_BACKEND(database);
    Transaction first;
    Transaction second;
    database.configure(first);
    database.configure(second);
    ASSERT_EQ(first.connect(), kSqlSuccess) << first.SQLErrText.toStdString();
    ASSERT_EQ(second.connect(), kSqlSuccess) << second.SQLErrText.toStdString();
    ASSERT_EQ(first.execute(QStringLiteral("CREATE TABLE t_pool (id int, name varchar(20), data bytea)")),
              kSqlSuccess)
        << first.SQLErrText.toStdString();
    for (int i = 1; i <= 20; ++i) {
        Transaction& one = i % 2 ? first : second;
        Transaction& other = i % 2 ? second : first;
        // The other client holds a server connection in a transaction meanwhile, so this client's
        // next statement goes to another one.
        ASSERT_EQ(other.begin(), kSqlSuccess);
        ASSERT_EQ(other.execute(QStringLiteral("SELECT count(*) FROM t_pool WHERE id > ?"), {0}), kSqlSuccess)
            << other.SQLErrText.toStdString();
        ASSERT_EQ(one.execute(QStringLiteral("INSERT INTO t_pool (id, name, data) VALUES (?, ?, ?)"),
                              {i, QStringLiteral("name %1").arg(i), QByteArray(i, char(i))}),
                  kSqlSuccess)
            << one.SQLErrText.toStdString();
        EXPECT_EQ(one.SQLNRows, 1);
        const auto row =
            one.selectInto(QStringLiteral("SELECT name, data, id FROM t_pool WHERE id = ?"), {i});
        ASSERT_TRUE(row.has_value()) << one.SQLErrText.toStdString();
        EXPECT_EQ(row->at(0).toString(), QStringLiteral("name %1").arg(i));
        EXPECT_EQ(row->at(1).toByteArray(), QByteArray(i, char(i)));
        EXPECT_EQ(row->at(2).toInt(), i);
        ASSERT_EQ(other.commit(), kSqlSuccess);
    }
    const auto all = first.selectAll(QStringLiteral("SELECT id FROM t_pool WHERE id <= ? ORDER BY id"), {20});
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ(all->size(), 20);
}

} // namespace
