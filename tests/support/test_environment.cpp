#include "support/test_environment.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <gtest/gtest.h>

namespace tarnlow::test {

ScratchFolder::ScratchFolder() {
    m_hadRegistry = qEnvironmentVariableIsSet("TARNLOW_AS_REGISTRY");
    m_previousRegistry = qgetenv("TARNLOW_AS_REGISTRY");
    qputenv("TARNLOW_AS_REGISTRY", QFile::encodeName(registryPath()));
}

ScratchFolder::~ScratchFolder() {
    if (m_hadRegistry)
        qputenv("TARNLOW_AS_REGISTRY", m_previousRegistry);
    else
        qunsetenv("TARNLOW_AS_REGISTRY");
}

QString ScratchFolder::path() const {
    return m_dir.path();
}

QString ScratchFolder::file(const QString& name) const {
    return m_dir.path() + QLatin1Char('/') + name;
}

QString ScratchFolder::registryPath() const {
    return file(QStringLiteral("registry.ini"));
}

bool ScratchFolder::write(const QString& name, const QByteArray& bytes) const {
    QFile out(file(name));
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(bytes) == bytes.size();
}

QByteArray ScratchFolder::read(const QString& name) const {
    QFile in(file(name));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

std::optional<PostgresServer> postgresServer() {
    const QString host = qEnvironmentVariable("TARNLOW_TEST_PG_HOST");
    if (host.isEmpty())
        return std::nullopt;
    PostgresServer server;
    server.host = host;
    server.port = qEnvironmentVariableIntValue("TARNLOW_TEST_PG_PORT");
    server.user = qEnvironmentVariable("TARNLOW_TEST_PG_USER");
    server.password = qEnvironmentVariable("TARNLOW_TEST_PG_PASSWORD");
    server.adminUser = qEnvironmentVariable("TARNLOW_TEST_PG_ADMIN_USER");
    server.adminPassword = qEnvironmentVariable("TARNLOW_TEST_PG_ADMIN_PASSWORD");
    return server;
}

namespace {

std::optional<int> portFromEnvironment(const char* name) {
    bool ok = false;
    const int port = qEnvironmentVariableIntValue(name, &ok);
    if (!ok || port <= 0 || !postgresServer())
        return std::nullopt;
    return port;
}

} // namespace

std::optional<int> pgbouncerPort() {
    return portFromEnvironment("TARNLOW_TEST_PGBOUNCER_PORT");
}

std::optional<int> standbyPort() {
    return portFromEnvironment("TARNLOW_TEST_PG_STANDBY_PORT");
}

std::optional<int> smallServerPort() {
    return portFromEnvironment("TARNLOW_TEST_PG_SMALL_PORT");
}

PostgresServer onPort(PostgresServer server, int port) {
    server.port = port;
    return server;
}

QString createPostgresDatabase(const PostgresServer& server) {
    static QAtomicInt counter;
    const QString name = QStringLiteral("tarnlow_test_%1_%2")
                             .arg(QUuid::createUuid().toString(QUuid::Id128).left(12))
                             .arg(counter.fetchAndAddOrdered(1));
    const QString connectionName = QStringLiteral("tarnlow_test_admin_") + name;
    bool created = false;
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
        db.setHostName(server.host);
        db.setPort(server.port);
        db.setUserName(server.adminUser);
        db.setPassword(server.adminPassword);
        db.setDatabaseName(QStringLiteral("postgres"));
        if (db.open()) {
            QSqlQuery query(db);
            created = query.exec(QStringLiteral("CREATE DATABASE %1 OWNER %2").arg(name, server.user));
            if (!created)
                error = query.lastError().text();
            db.close();
        } else {
            error = db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
    if (!created) {
        ADD_FAILURE() << "cannot create a PostgreSQL test database: " << error.toStdString();
        return {};
    }
    return name;
}

bool serversRequired() {
    return qEnvironmentVariable("TARNLOW_TEST_REQUIRE_SERVERS") == QStringLiteral("1");
}

QString fixturePath(const QString& name) {
    return qEnvironmentVariable("TARNLOW_TEST_FIXTURES") + QLatin1Char('/') + name;
}

QString binaryDirectory() {
    return qEnvironmentVariable("TARNLOW_BIN_DIR");
}

} // namespace tarnlow::test
