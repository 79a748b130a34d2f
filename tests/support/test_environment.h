#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace tarnlow::test {

// A temporary folder that also becomes the settings store ($TARNLOW_AS_REGISTRY points into it)
// for as long as the object lives, so no test touches the operator's settings.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    QString path() const;                    // without a trailing separator
    QString file(const QString& name) const; // path() + "/" + name
    QString registryPath() const;            // the settings file tests read back
    bool write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previousRegistry;
    bool m_hadRegistry = false;
};

// The PostgreSQL server that scripts/test starts. Connection values come from the environment
// (TARNLOW_TEST_PG_HOST, _PORT, _USER, _PASSWORD, _ADMIN_USER, _ADMIN_PASSWORD).
struct PostgresServer {
    QString host;
    int port = 5432;
    QString user;
    QString password;
    QString adminUser;
    QString adminPassword;
};

// The server, or no value when the environment names none. Tests call GTEST_SKIP() then, unless
// TARNLOW_TEST_REQUIRE_SERVERS=1 (scripts/test sets it), when the missing server is a failure.
std::optional<PostgresServer> postgresServer();

// The servers scripts/test starts beside it, reached with the same logins: PgBouncer in
// transaction pooling in front of it, a hot standby streaming from it, and a second server that
// takes three connections at most. No value when the environment names none.
std::optional<int> pgbouncerPort();
std::optional<int> standbyPort();
std::optional<int> smallServerPort();

// Creates a new empty database owned by the test user and returns its name; an empty text and a
// test failure when that is not possible.
QString createPostgresDatabase(const PostgresServer& server);

// The server with another port, for one of the servers beside it.
PostgresServer onPort(PostgresServer server, int port);

// True when tests must fail rather than skip for a missing server or driver.
bool serversRequired();

// The ODBC driver names that scripts/test registers in its own odbcinst.ini.
inline const QString kOdbcPostgresDriver = QStringLiteral("TarnlowTestPostgreSQL");
inline const QString kOdbcSqliteDriver = QStringLiteral("TarnlowTestSQLite3");

QString fixturePath(const QString& name);
QString binaryDirectory();

} // namespace tarnlow::test

// Skips the test when no PostgreSQL server is configured, or fails it when servers are required.
#define TARNLOW_REQUIRE_POSTGRES(variable)                                                                   \
    const auto variable##Optional = ::tarnlow::test::postgresServer();                                       \
    if (!variable##Optional) {                                                                               \
        if (::tarnlow::test::serversRequired())                                                              \
            FAIL() << "no PostgreSQL server configured (TARNLOW_TEST_PG_HOST)";                              \
        GTEST_SKIP() << "no PostgreSQL server configured";                                                   \
    }                                                                                                        \
    const ::tarnlow::test::PostgresServer& variable = *variable##Optional

// Skips the test when the environment names no port in `port` (an std::optional<int>), or fails it
// when servers are required.
#define TARNLOW_REQUIRE_PORT(port, what)                                                                     \
    if (!(port)) {                                                                                           \
        if (::tarnlow::test::serversRequired())                                                              \
            FAIL() << "no " what " configured";                                                              \
        GTEST_SKIP() << "no " what " configured";                                                            \
    }
