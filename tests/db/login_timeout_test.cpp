#include "support/database_backends.h"
#include "support/silent_server.h"

#include "db/connection_parameters.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

using test::SilentServer;

// Connects to a server that accepts the connection and never answers. The attempt must fail by
// the login timeout of `timeoutSeconds`: not sooner (libpq counts in whole seconds, so up to one
// second sooner), not much later, and with the driver saying that the time ran out, in a text
// that names `reason` as well.
void expectLoginTimeout(Transaction& sqlca, int timeoutSeconds, const QString& reason) {
    QElapsedTimer timer;
    timer.start();
    EXPECT_LT(sqlca.connect(), 0);
    const qint64 elapsed = timer.elapsed();
    EXPECT_FALSE(sqlca.isConnected());
    EXPECT_TRUE(sqlca.SQLErrText.contains(QStringLiteral("timeout expired"), Qt::CaseInsensitive))
        << sqlca.SQLErrText.toStdString();
    EXPECT_TRUE(sqlca.SQLErrText.contains(reason)) << sqlca.SQLErrText.toStdString();
    EXPECT_GE(elapsed, (timeoutSeconds - 1) * 1000) << sqlca.SQLErrText.toStdString();
    // Generous: the point is that the login gives up by itself instead of hanging.
    EXPECT_LT(elapsed, (timeoutSeconds + 20) * 1000);
}

// The text libpq gives for the silent server, also behind the PostgreSQL ODBC driver.
QString postgresReason(const SilentServer& silent) {
    return QStringLiteral("port %1 failed").arg(silent.port());
}

TEST(LoginTimeout, PostgresServerThatNeverAnswersGivesUp) {
    SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    Transaction sqlca;
    sqlca.DBMS = kDbmsPostgreSql;
    sqlca.ServerName = QStringLiteral("127.0.0.1:%1").arg(silent.port());
    sqlca.Database = QStringLiteral("nothing");
    sqlca.LogID = QStringLiteral("nobody");
    sqlca.DBParm = QStringLiteral("Timeout=4");
    expectLoginTimeout(sqlca, 4, postgresReason(silent));
}

TEST(LoginTimeout, DefaultIsTenSeconds) {
    EXPECT_EQ(loginTimeoutSeconds(QString()), 10);
    EXPECT_EQ(loginTimeoutSeconds(QStringLiteral("Timeout=3")), 3);
    SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    Transaction sqlca;
    sqlca.DBMS = kDbmsPostgreSql;
    sqlca.ServerName = QStringLiteral("127.0.0.1");
    sqlca.DBParm = QStringLiteral("Port=%1").arg(silent.port());
    sqlca.Database = QStringLiteral("nothing");
    sqlca.LogID = QStringLiteral("nobody");
    expectLoginTimeout(sqlca, 10, postgresReason(silent));
}

TEST(LoginTimeout, SqlServerThroughFreeTdsGivesUp) {
    TARNLOW_REQUIRE_ODBC_DRIVERS();
    SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    Transaction sqlca;
    sqlca.DBMS = kDbmsSqlServer;
    sqlca.ServerName = QStringLiteral("127.0.0.1,%1").arg(silent.port());
    sqlca.Database = QStringLiteral("game");
    sqlca.LogID = QStringLiteral("sa");
    sqlca.LogPass = QStringLiteral("secret");
    sqlca.DBParm = QStringLiteral("Timeout=4");
    expectLoginTimeout(sqlca, 4, QStringLiteral("[FreeTDS]"));
}

TEST(LoginTimeout, OdbcDataSourceThatNeverAnswersGivesUp) {
    TARNLOW_REQUIRE_ODBC_DRIVERS();
    SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    Transaction sqlca;
    sqlca.DBMS = kDbmsOdbc;
    sqlca.LogID = QStringLiteral("nobody");
    sqlca.LogPass = QStringLiteral("x");
    sqlca.DBParm =
        QStringLiteral("Timeout=4;ConnectString=Driver={%1};Server=127.0.0.1;Port=%2;Database=nothing")
            .arg(test::kOdbcPostgresDriver)
            .arg(silent.port());
    expectLoginTimeout(sqlca, 4, postgresReason(silent));
}

TEST(ConnectionParameters, EntriesQuotesAndConnectStrings) {
    const QString parm =
        QStringLiteral(" Port = 5433 ;Name='a;b''c';ConnectString=Driver={X};Server=s;UID=u");
    EXPECT_EQ(dbParmValue(parm, QStringLiteral("port")), QStringLiteral("5433"));
    EXPECT_EQ(dbParmValue(parm, QStringLiteral("Name")), QStringLiteral("a;b'c"));
    EXPECT_EQ(dbParmValue(parm, QStringLiteral("ConnectString")),
              QStringLiteral("Driver={X};Server=s;UID=u"));
    EXPECT_TRUE(dbParmValue(parm, QStringLiteral("Timeout")).isNull());
    EXPECT_EQ(dbParmValue(QStringLiteral("Empty="), QStringLiteral("Empty")), QStringLiteral(""));
    EXPECT_FALSE(dbParmValue(QStringLiteral("Empty="), QStringLiteral("Empty")).isNull());

    EXPECT_EQ(splitHostAndPort(QStringLiteral("db.example:1433")).port, 1433);
    EXPECT_EQ(splitHostAndPort(QStringLiteral("10.0.0.5,1444")).host, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(splitHostAndPort(QStringLiteral("10.0.0.5,1444")).port, 1444);
    EXPECT_EQ(splitHostAndPort(QStringLiteral("::1")).host, QStringLiteral("::1"));
    EXPECT_EQ(splitHostAndPort(QStringLiteral("[::1]:5432")).port, 5432);
    EXPECT_EQ(splitHostAndPort(QStringLiteral("server\\SQLEXPRESS")).port, 0);

    // A password with the connect string's own separators stays one value.
    const QString connect = sqlServerConnectString(QStringLiteral("db,1433"), QStringLiteral("game"),
                                                   QStringLiteral("sa"), QStringLiteral("p;w}d"), QString());
    EXPECT_EQ(connect, QStringLiteral("Driver=FreeTDS;Server=db;Port=1433;Database=game;UID=sa;PWD={p;w}}d};"
                                      "TDS_Version=7.4;ClientCharset=UTF-8"));
}

} // namespace
