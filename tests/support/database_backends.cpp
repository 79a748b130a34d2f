#include "support/database_backends.h"

#include "db/connection_parameters.h"

#include <QDir>
#include <QFileInfo>

namespace tarnlow::test {

std::string backendName(Backend backend) {
    switch (backend) {
    case Backend::Sqlite:
        return "Sqlite";
    case Backend::Postgres:
        return "Postgres";
    case Backend::OdbcPostgres:
        return "OdbcPostgres";
    case Backend::OdbcSqlite:
        return "OdbcSqlite";
    }
    return "Unknown";
}

bool odbcDriversRegistered() {
    const QString folder = qEnvironmentVariable("ODBCSYSINI");
    return !folder.isEmpty() && QFileInfo::exists(QDir(folder).filePath(QStringLiteral("odbcinst.ini")));
}

BackendDatabase::BackendDatabase(Backend backend)
    : m_backend(backend)
    , m_scratch(std::make_unique<ScratchFolder>()) {
    switch (backend) {
    case Backend::Sqlite:
        m_database = m_scratch->file(QStringLiteral("test.db"));
        break;
    case Backend::OdbcSqlite:
        if (!odbcDriversRegistered())
            m_skipReason = QStringLiteral("ODBC test drivers are not registered (ODBCSYSINI)");
        m_database = m_scratch->file(QStringLiteral("test.db"));
        break;
    case Backend::Postgres:
    case Backend::OdbcPostgres:
        m_server = postgresServer();
        if (!m_server) {
            m_skipReason = QStringLiteral("no PostgreSQL server configured (TARNLOW_TEST_PG_HOST)");
            break;
        }
        if (backend == Backend::OdbcPostgres && !odbcDriversRegistered()) {
            m_skipReason = QStringLiteral("ODBC test drivers are not registered (ODBCSYSINI)");
            break;
        }
        m_database = createPostgresDatabase(*m_server);
        if (m_database.isEmpty())
            m_skipReason = QStringLiteral("cannot create a PostgreSQL test database");
        break;
    }
}

void BackendDatabase::configure(Transaction& transaction) const {
    switch (m_backend) {
    case Backend::Sqlite:
        transaction.DBMS = kDbmsSqlite;
        transaction.Database = m_database;
        break;
    case Backend::Postgres:
        transaction.DBMS = kDbmsPostgreSql;
        transaction.ServerName = m_server->host + QLatin1Char(':') + QString::number(m_server->port);
        transaction.Database = m_database;
        transaction.LogID = m_server->user;
        transaction.LogPass = m_server->password;
        break;
    case Backend::OdbcPostgres:
        transaction.DBMS = kDbmsOdbc;
        transaction.LogID = m_server->user;
        transaction.LogPass = m_server->password;
        transaction.DBParm = QStringLiteral("ConnectString=Driver={%1};Server=%2;Port=%3;Database=%4")
                                 .arg(kOdbcPostgresDriver, m_server->host)
                                 .arg(m_server->port)
                                 .arg(m_database);
        break;
    case Backend::OdbcSqlite:
        transaction.DBMS = kDbmsOdbc;
        transaction.DBParm = QStringLiteral("ConnectString=Driver={%1};Database=%2")
                                 .arg(kOdbcSqliteDriver, odbcConnectValue(m_database));
        break;
    }
}

QString BackendDatabase::binaryType() const {
    switch (m_backend) {
    case Backend::Postgres:
    case Backend::OdbcPostgres:
        return QStringLiteral("bytea");
    case Backend::Sqlite:
    case Backend::OdbcSqlite:
        return QStringLiteral("BLOB");
    }
    return {};
}

std::string backendTestName(const ::testing::TestParamInfo<Backend>& parameter) {
    return backendName(parameter.param);
}

void ConnectedBackendTest::SetUp() {
    database = std::make_unique<BackendDatabase>(GetParam());
    TARNLOW_REQUIRE_BACKEND(*database);
    database->configure(sqlca);
    ASSERT_EQ(sqlca.connect(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
}

int sessionsWaitingFor(Transaction& holder) {
    // pg_locks, unlike pg_stat_activity, is read afresh by every statement of a transaction.
    const std::optional<QVariantList> row =
        holder.selectInto(QStringLiteral("SELECT count(DISTINCT pid) FROM pg_locks WHERE NOT granted AND "
                                         "pg_backend_pid() = ANY (pg_blocking_pids(pid))"));
    return row ? row->at(0).toInt() : -1;
}

} // namespace tarnlow::test
