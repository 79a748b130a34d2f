#pragma once

#include "db/transaction.h"
#include "support/test_environment.h"

#include <QString>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tarnlow::test {

// The ways the tests reach a real database: the embedded SQLite file, the PostgreSQL server that
// scripts/test starts, that same server and an SQLite file through unixODBC, and the server
// through the PgBouncer in transaction pooling that scripts/test puts in front of it, directly
// and through unixODBC.
enum class Backend { Sqlite, Postgres, OdbcPostgres, OdbcSqlite, PgBouncer, OdbcPgBouncer };

// True for the backends that reach the PostgreSQL test server, directly or not.
bool isPostgresBackend(Backend backend);

std::string backendName(Backend backend);

// A fresh empty database on one backend and the fields that connect to it. ready() is false (and
// the reason in skipReason()) when the server or driver the backend needs is not set up; the
// caller skips or fails then.
class BackendDatabase {
public:
    explicit BackendDatabase(Backend backend);
    bool ready() const { return m_skipReason.isEmpty(); }
    QString skipReason() const { return m_skipReason; }
    Backend backend() const { return m_backend; }

    // Fills the connection fields of a transaction object for this database.
    void configure(Transaction& transaction) const;
    // The same database as the PostgreSQL server's administrator, who owns what it creates; the
    // test login then has only the rights grantAllBut() gives it.
    void configureAdministrator(Transaction& transaction) const;
    // As the administrator: every right on the tables to the test login, except on `hidden`, on
    // which it has none. False (with the server's text in the test's log) when that fails.
    bool grantAllBut(Transaction& admin, const QStringList& tables, const QString& hidden) const;
    // The type name of a binary column on this backend.
    QString binaryType() const;
    // The PostgreSQL server behind the backend, when there is one (the server itself, also when
    // the backend reaches it through PgBouncer).
    const std::optional<PostgresServer>& server() const { return m_server; }
    QString databaseName() const { return m_database; }
    // The port the backend connects to: the server's, or PgBouncer's in front of it.
    int port() const { return m_port; }
    const ScratchFolder& scratch() const { return *m_scratch; }

private:
    Backend m_backend;
    std::unique_ptr<ScratchFolder> m_scratch;
    std::optional<PostgresServer> m_server;
    int m_port = 0; // the port the backend connects to
    QString m_database;
    QString m_skipReason;
};

// The test-name suffix of a backend, for INSTANTIATE_TEST_SUITE_P.
std::string backendTestName(const ::testing::TestParamInfo<Backend>& parameter);

// A test on a fresh database of the backend it is instantiated with and a transaction object
// connected to it. SetUp skips, or fails when servers are required, if the backend is not set up;
// a fixture that adds to SetUp calls this one first and returns when it skipped or failed.
class ConnectedBackendTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override;

    std::unique_ptr<BackendDatabase> database;
    Transaction sqlca;
};

// Connections to `database` on `server` that take every slot it has: opened until the server
// refuses one with "too many clients", and held until no other client of the server is left (one
// that was closing may have held a slot). The next client must then wait. Empty on a failure,
// which is reported as a test failure.
std::vector<std::unique_ptr<Transaction>> takeEverySlot(const PostgresServer& server,
                                                        const QString& database);

// True when the ODBC test drivers are registered (scripts/test-servers sets ODBCSYSINI).
bool odbcDriversRegistered();

// On PostgreSQL, the number of other sessions whose statement waits for a lock that the session of
// `holder` holds (-1 when that cannot be read): the event a test waits for before it acts on work
// that is known to be stuck behind its lock.
int sessionsWaitingFor(Transaction& holder);

} // namespace tarnlow::test

// Skips the test when the backend is not available, or fails it when servers are required.
#define TARNLOW_REQUIRE_BACKEND(database)                                                                    \
    if (!(database).ready()) {                                                                               \
        if (::tarnlow::test::serversRequired())                                                              \
            FAIL() << (database).skipReason().toStdString();                                                 \
        GTEST_SKIP() << (database).skipReason().toStdString();                                               \
    }

// Skips the test when the ODBC test drivers are not registered, or fails it when servers are required.
#define TARNLOW_REQUIRE_ODBC_DRIVERS()                                                                       \
    if (!::tarnlow::test::odbcDriversRegistered()) {                                                         \
        if (::tarnlow::test::serversRequired())                                                              \
            FAIL() << "ODBC test drivers are not registered (ODBCSYSINI)";                                   \
        GTEST_SKIP() << "ODBC test drivers are not registered";                                              \
    }
