#include "support/database_backends.h"

#include "db/connection_parameters.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

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
    case Backend::PgBouncer:
        return "PgBouncer";
    case Backend::OdbcPgBouncer:
        return "OdbcPgBouncer";
    }
    return "Unknown";
}

bool isPostgresBackend(Backend backend) {
    return backend == Backend::Postgres || backend == Backend::OdbcPostgres ||
           backend == Backend::PgBouncer || backend == Backend::OdbcPgBouncer;
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
    case Backend::PgBouncer:
    case Backend::OdbcPgBouncer:
        m_server = postgresServer();
        if (!m_server) {
            m_skipReason = QStringLiteral("no PostgreSQL server configured (TARNLOW_TEST_PG_HOST)");
            break;
        }
        m_port = m_server->port;
        if (backend == Backend::PgBouncer || backend == Backend::OdbcPgBouncer) {
            const std::optional<int> pooler = pgbouncerPort();
            if (!pooler) {
                m_skipReason = QStringLiteral("no PgBouncer configured (TARNLOW_TEST_PGBOUNCER_PORT)");
                break;
            }
            m_port = *pooler;
        }
        if ((backend == Backend::OdbcPostgres || backend == Backend::OdbcPgBouncer) &&
            !odbcDriversRegistered()) {
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
    case Backend::PgBouncer:
        transaction.DBMS = kDbmsPostgreSql;
        transaction.ServerName = m_server->host + QLatin1Char(':') + QString::number(m_port);
        transaction.Database = m_database;
        transaction.LogID = m_server->user;
        transaction.LogPass = m_server->password;
        break;
    case Backend::OdbcPostgres:
    case Backend::OdbcPgBouncer:
        transaction.DBMS = kDbmsOdbc;
        transaction.LogID = m_server->user;
        transaction.LogPass = m_server->password;
        transaction.DBParm = QStringLiteral("ConnectString=Driver={%1};Server=%2;Port=%3;Database=%4")
                                 .arg(kOdbcPostgresDriver, m_server->host)
                                 .arg(m_port)
                                 .arg(m_database);
        break;
    case Backend::OdbcSqlite:
        transaction.DBMS = kDbmsOdbc;
        transaction.DBParm = QStringLiteral("ConnectString=Driver={%1};Database=%2")
                                 .arg(kOdbcSqliteDriver, odbcConnectValue(m_database));
        break;
    }
}

void BackendDatabase::configureAdministrator(Transaction& transaction) const {
    configure(transaction);
    transaction.LogID = m_server->adminUser;
    transaction.LogPass = m_server->adminPassword;
}

bool BackendDatabase::grantAllBut(Transaction& admin, const QStringList& tables,
                                  const QString& hidden) const {
    for (const QString& table : tables) {
        const QString grant = table.compare(hidden, Qt::CaseInsensitive) == 0
                                  ? QStringLiteral("REVOKE ALL ON %1 FROM %2")
                                  : QStringLiteral("GRANT ALL ON %1 TO %2");
        if (admin.executeImmediate(grant.arg(table, m_server->user)) != kSqlSuccess) {
            ADD_FAILURE() << admin.SQLErrText.toStdString();
            return false;
        }
    }
    return true;
}

QString BackendDatabase::binaryType() const {
    return isPostgresBackend(m_backend) ? QStringLiteral("bytea") : QStringLiteral("BLOB");
}

std::string backendTestName(const ::testing::TestParamInfo<Backend>& parameter) {
    return backendName(parameter.param);
}

std::vector<std::unique_ptr<Transaction>> takeEverySlot(const PostgresServer& server,
                                                        const QString& database) {
    std::vector<std::unique_ptr<Transaction>> holders;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000) {
        auto holder = std::make_unique<Transaction>();
        holder->DBMS = kDbmsPostgreSql;
        holder->ServerName = server.host + QLatin1Char(':') + QString::number(server.port);
        holder->Database = database;
        holder->LogID = server.user;
        holder->LogPass = server.password;
        if (holder->connect() == kSqlSuccess) {
            holders.push_back(std::move(holder));
            if (holders.size() > 20) {
                ADD_FAILURE() << "the server takes more than 20 connections";
                return {};
            }
            continue;
        }
        if (!holder->SQLErrText.contains(QStringLiteral("too many clients"))) {
            ADD_FAILURE() << "the server refused a connection: " << holder->SQLErrText.toStdString();
            return {};
        }
        if (holders.empty()) {
            QThread::msleep(20);
            continue;
        }
        const auto clients = holders.front()->selectInto(
            QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE backend_type = 'client backend'"));
        if (!clients) {
            ADD_FAILURE() << holders.front()->SQLErrText.toStdString();
            return {};
        }
        if (clients->first().toLongLong() == static_cast<qint64>(holders.size()))
            return holders;
        // Another client is still there; once it has gone, its slot is taken too.
        QThread::msleep(20);
    }
    ADD_FAILURE() << "the server's other clients did not go within a minute";
    return {};
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
