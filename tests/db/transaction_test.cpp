#include "db/database_error_text.h"
#include "db/dialect.h"
#include "db/sqlite_script.h"
#include "support/database_backends.h"

#include <QRandomGenerator>
#include <QSqlDatabase>

#include <gtest/gtest.h>

using namespace tarnlow;
using test::Backend;
using test::ConnectedBackendTest;

namespace {

class TransactionTest : public ConnectedBackendTest {
protected:
    void SetUp() override {
        ConnectedBackendTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        ASSERT_TRUE(sqlca.isConnected());
        ASSERT_NE(sqlca.dbhandle(), 0);
    }

    void createTable() {
        ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("CREATE TABLE t_item (id int NOT NULL PRIMARY KEY, "
                                                        "name varchar(200) NULL, data %1 NULL)")
                                             .arg(database->binaryType())),
                  kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
    }

    qint64 countRows() {
        const std::optional<QVariantList> row =
            sqlca.selectInto(QStringLiteral("SELECT count(*) FROM t_item"));
        EXPECT_TRUE(row.has_value()) << sqlca.SQLErrText.toStdString();
        return row ? row->first().toLongLong() : -1;
    }
};

TEST_P(TransactionTest, BoundTextsRoundTripExactlyAndRowsAreCounted) {
    createTable();
    const QStringList awkward{QStringLiteral("O'Brien said \"hi\"; -- DROP TABLE t_item"),
                              QStringLiteral("中文 text with ? and :name and %1"),
                              QStringLiteral("  blanks  "), QStringLiteral("")};
    for (int i = 0; i < awkward.size(); ++i) {
        ASSERT_EQ(sqlca.execute(QStringLiteral("INSERT INTO t_item (id, name) VALUES (?, ?)"),
                                {i + 1, awkward.at(i)}),
                  kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
        EXPECT_EQ(sqlca.SQLNRows, 1);
    }
    ASSERT_EQ(sqlca.execute(QStringLiteral("INSERT INTO t_item (id, name) VALUES (?, ?)"),
                            {10, QVariant(QMetaType::fromType<QString>())}),
              kSqlSuccess)
        << sqlca.SQLErrText.toStdString();

    for (int i = 0; i < awkward.size(); ++i) {
        // Found by the bound text itself, so the comparison on the server sees the same value.
        const auto row =
            sqlca.selectInto(QStringLiteral("SELECT id, name FROM t_item WHERE name = ?"), {awkward.at(i)});
        ASSERT_TRUE(row.has_value()) << i << " " << sqlca.SQLErrText.toStdString() << " code "
                                     << sqlca.SQLCode;
        EXPECT_EQ(sqlca.SQLCode, kSqlSuccess);
        EXPECT_EQ(row->at(0).toInt(), i + 1);
        EXPECT_EQ(row->at(1).toString(), awkward.at(i));
    }
    const auto nullRow = sqlca.selectInto(QStringLiteral("SELECT name FROM t_item WHERE id = ?"), {10});
    ASSERT_TRUE(nullRow.has_value());
    EXPECT_TRUE(nullRow->first().isNull());

    EXPECT_EQ(
        sqlca.execute(QStringLiteral("UPDATE t_item SET name = ? WHERE id < ?"), {QStringLiteral("x"), 4}),
        kSqlSuccess);
    EXPECT_EQ(sqlca.SQLNRows, 3);
    const auto all = sqlca.selectAll(QStringLiteral("SELECT id FROM t_item WHERE name = ? ORDER BY id"),
                                     {QStringLiteral("x")});
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ(all->size(), 3);
    EXPECT_EQ(sqlca.SQLNRows, 3);
}

TEST_P(TransactionTest, NoRowGivesNotFoundAndAFailureGivesTheServersText) {
    createTable();
    EXPECT_FALSE(sqlca.selectInto(QStringLiteral("SELECT name FROM t_item WHERE id = ?"), {42}).has_value());
    EXPECT_EQ(sqlca.SQLCode, kSqlNotFound);
    EXPECT_FALSE(sqlca.selectBlob(QStringLiteral("SELECT data FROM t_item WHERE id = ?"), {42}).has_value());
    EXPECT_EQ(sqlca.SQLCode, kSqlNotFound);
    const auto none = sqlca.selectAll(QStringLiteral("SELECT name FROM t_item"));
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->isEmpty());
    EXPECT_EQ(sqlca.SQLCode, kSqlNotFound);

    EXPECT_FALSE(sqlca.selectInto(QStringLiteral("SELECT count(*) FROM t_missing_table")).has_value());
    EXPECT_LT(sqlca.SQLCode, 0);
    EXPECT_TRUE(sqlca.SQLErrText.contains(QStringLiteral("t_missing_table"), Qt::CaseInsensitive))
        << sqlca.SQLErrText.toStdString();

    // A failure leaves the connection usable, and the next success clears the text.
    EXPECT_EQ(sqlca.execute(QStringLiteral("INSERT INTO t_item (id) VALUES (?)"), {1}), kSqlSuccess);
    EXPECT_TRUE(sqlca.SQLErrText.isEmpty());
    EXPECT_EQ(sqlca.execute(QStringLiteral("INSERT INTO t_item (id) VALUES (?)"), {1}), kSqlFailure);
    EXPECT_FALSE(sqlca.SQLErrText.isEmpty());
    EXPECT_EQ(countRows(), 1);
}

TEST_P(TransactionTest, TenMegabyteBinaryValueRoundTripsByteForByte) {
    createTable();
    QByteArray bytes(10 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(20240611);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    bytes[0] = '\0';
    bytes[1] = '\'';
    bytes[bytes.size() - 1] = '\0';
    ASSERT_EQ(sqlca.updateBlob(QStringLiteral("INSERT INTO t_item (data, id) VALUES (?, ?)"), bytes, {1}),
              kSqlSuccess)
        << sqlca.SQLErrText.toStdString();
    const std::optional<QByteArray> back =
        sqlca.selectBlob(QStringLiteral("SELECT data FROM t_item WHERE id = ?"), {1});
    ASSERT_TRUE(back.has_value()) << sqlca.SQLErrText.toStdString();
    ASSERT_EQ(back->size(), bytes.size());
    EXPECT_TRUE(*back == bytes);

    // NULL and a short value, written through an UPDATE with further bound values.
    ASSERT_EQ(sqlca.execute(QStringLiteral("INSERT INTO t_item (id) VALUES (?)"), {2}), kSqlSuccess);
    const auto nullBlob = sqlca.selectBlob(QStringLiteral("SELECT data FROM t_item WHERE id = ?"), {2});
    ASSERT_TRUE(nullBlob.has_value());
    EXPECT_TRUE(nullBlob->isNull());
    const QByteArray small("\x00\x01\xff\xfe", 4);
    ASSERT_EQ(sqlca.updateBlob(QStringLiteral("UPDATE t_item SET data = ? WHERE id = ?"), small, {2}),
              kSqlSuccess)
        << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(sqlca.SQLNRows, 1);
    EXPECT_EQ(
        sqlca.selectBlob(QStringLiteral("SELECT data FROM t_item WHERE id = ?"), {2}).value_or(QByteArray()),
        small);
}

TEST_P(TransactionTest, RollbackUndoesAndCommitKeeps) {
    createTable();
    ASSERT_EQ(sqlca.begin(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    EXPECT_TRUE(sqlca.inTransaction());
    EXPECT_EQ(sqlca.begin(), kSqlFailure);
    ASSERT_EQ(sqlca.execute(QStringLiteral("INSERT INTO t_item (id) VALUES (?)"), {1}), kSqlSuccess);
    ASSERT_EQ(sqlca.rollback(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    EXPECT_FALSE(sqlca.inTransaction());
    EXPECT_EQ(countRows(), 0);

    ASSERT_EQ(sqlca.begin(), kSqlSuccess);
    ASSERT_EQ(sqlca.execute(QStringLiteral("INSERT INTO t_item (id) VALUES (?)"), {2}), kSqlSuccess);
    ASSERT_EQ(sqlca.commit(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(countRows(), 1);

    // Without autocommit a transaction is always open; disconnecting undoes what was not committed.
    Transaction manual;
    database->configure(manual);
    manual.AutoCommit = false;
    ASSERT_EQ(manual.connect(), kSqlSuccess) << manual.SQLErrText.toStdString();
    EXPECT_TRUE(manual.inTransaction());
    ASSERT_EQ(manual.execute(QStringLiteral("INSERT INTO t_item (id) VALUES (?)"), {3}), kSqlSuccess);
    ASSERT_EQ(manual.commit(), kSqlSuccess);
    EXPECT_TRUE(manual.inTransaction());
    ASSERT_EQ(manual.execute(QStringLiteral("INSERT INTO t_item (id) VALUES (?)"), {4}), kSqlSuccess);
    manual.disconnect();
    EXPECT_EQ(countRows(), 2);
}

// Without autocommit a transaction must follow every commit and rollback. The server ends the
// session under the object here, as a restart or a dropped network would: the commit or rollback
// fails saying no transaction is open, and later statements refuse to run outside one.
TEST_P(TransactionTest, LostConnectionFailsCommitAndRollbackAndLeavesNoTransactionPromised) {
    if (!database->server())
        GTEST_SKIP() << "only a server's session can be ended from another connection";
    createTable();
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "commit" : "rollback");
        Transaction manual;
        database->configure(manual);
        manual.AutoCommit = false;
        ASSERT_EQ(manual.connect(), kSqlSuccess) << manual.SQLErrText.toStdString();
        const auto backend = manual.selectInto(QStringLiteral("SELECT pg_backend_pid()"));
        ASSERT_TRUE(backend.has_value()) << manual.SQLErrText.toStdString();
        ASSERT_EQ(manual.execute(QStringLiteral("INSERT INTO t_item (id) VALUES (?)"), {1}), kSqlSuccess);

        // Waits up to ten seconds for the server process to end.
        const auto ended =
            sqlca.selectInto(QStringLiteral("SELECT pg_terminate_backend(CAST(? AS integer), 10000)"),
                             {backend->first().toInt()});
        ASSERT_TRUE(ended.has_value()) << sqlca.SQLErrText.toStdString();
        ASSERT_TRUE(ended->first().toBool());

        EXPECT_EQ(keep ? manual.commit() : manual.rollback(), kSqlFailure);
        // PostgreSQL's own driver needs the server to open a transaction; an ODBC driver may
        // open one on its side alone, and then the statements in it fail.
        if (GetParam() == Backend::Postgres || GetParam() == Backend::PgBouncer) {
            EXPECT_FALSE(manual.inTransaction());
        }
        if (!manual.inTransaction()) {
            EXPECT_TRUE(manual.SQLErrText.contains(QStringLiteral("no new transaction could be opened")))
                << manual.SQLErrText.toStdString();
        }

        EXPECT_EQ(manual.execute(QStringLiteral("INSERT INTO t_item (id) VALUES (?)"), {2}), kSqlFailure);
        if (!manual.inTransaction()) {
            EXPECT_TRUE(manual.SQLErrText.contains(QStringLiteral("no transaction is open")))
                << manual.SQLErrText.toStdString();
        }
        EXPECT_FALSE(manual.selectInto(QStringLiteral("SELECT 1")).has_value());
        EXPECT_LT(manual.SQLCode, 0);
        EXPECT_EQ(manual.disconnect(), kSqlSuccess);
    }
    EXPECT_EQ(countRows(), 0);
}

// The newest connection a transaction object opened.
QSqlDatabase newestConnection() {
    QString newest;
    qint64 highest = 0;
    for (const QString& name : QSqlDatabase::connectionNames()) {
        const qint64 number = name.section(QLatin1Char('_'), -1).toLongLong();
        if (name.startsWith(QStringLiteral("tarnlow_transaction_")) && number > highest) {
            highest = number;
            newest = name;
        }
    }
    return QSqlDatabase::database(newest, false);
}

// The same on the embedded database, with its handle closed underneath the object. A statement
// prepared here keeps the closed handle allocated, so the driver's later calls are refused
// rather than reaching freed memory.
TEST_P(TransactionTest, ClosedSqliteHandleFailsCommitAndLeavesNoTransactionPromised) {
    if (GetParam() != Backend::Sqlite)
        GTEST_SKIP() << "the handle underneath is reachable only through Qt's own SQLite driver";
    createTable();
    Transaction manual;
    database->configure(manual);
    manual.AutoCommit = false;
    ASSERT_EQ(manual.connect(), kSqlSuccess) << manual.SQLErrText.toStdString();
    ASSERT_EQ(manual.execute(QStringLiteral("INSERT INTO t_item (id) VALUES (?)"), {1}), kSqlSuccess);

    sqlite3* handle = sqliteHandle(newestConnection());
    ASSERT_NE(handle, nullptr);
    sqlite3_stmt* holder = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(handle, "SELECT 1", -1, &holder, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_close_v2(handle), SQLITE_OK);

    EXPECT_EQ(manual.commit(), kSqlFailure);
    EXPECT_TRUE(manual.SQLErrText.contains(QStringLiteral("no new transaction could be opened")))
        << manual.SQLErrText.toStdString();
    EXPECT_FALSE(manual.inTransaction());
    EXPECT_EQ(manual.execute(QStringLiteral("INSERT INTO t_item (id) VALUES (?)"), {2}), kSqlFailure);
    EXPECT_TRUE(manual.SQLErrText.contains(QStringLiteral("no transaction is open")))
        << manual.SQLErrText.toStdString();
    EXPECT_EQ(manual.rollback(), kSqlSuccess) << "no transaction is open, so there is nothing to roll back";
    manual.disconnect();
    // The last statement frees the handle, and SQLite undoes the transaction it still held.
    sqlite3_finalize(holder);
    EXPECT_EQ(countRows(), 0);
}

TEST_P(TransactionTest, WrongLoginOrMissingDatabaseFailsWithTheServersText) {
    Transaction wrong;
    database->configure(wrong);
    switch (GetParam()) {
    case Backend::Postgres:
    case Backend::OdbcPostgres:
    case Backend::PgBouncer:
    case Backend::OdbcPgBouncer:
        wrong.LogPass = QStringLiteral("not-the-password");
        break;
    case Backend::Sqlite:
        wrong.Database = database->scratch().file(QStringLiteral("no/such/folder/test.db"));
        break;
    case Backend::OdbcSqlite:
        wrong.DBParm = QStringLiteral("ConnectString=Driver={NoSuchDriverHere};Database=x");
        break;
    }
    EXPECT_LT(wrong.connect(), 0);
    EXPECT_FALSE(wrong.isConnected());
    EXPECT_EQ(wrong.dbhandle(), 0);
    // PgBouncer checks the password itself and says "SASL authentication failed".
    if (isPostgresBackend(GetParam()))
        EXPECT_TRUE(wrong.SQLErrText.contains(QStringLiteral("authentication failed")))
            << wrong.SQLErrText.toStdString();
    else
        EXPECT_FALSE(wrong.SQLErrText.isEmpty());
    // Statements on a connection that failed report it rather than crash.
    EXPECT_LT(wrong.execute(QStringLiteral("SELECT 1")), 0);
    EXPECT_FALSE(wrong.SQLErrText.isEmpty());
}

TEST_P(TransactionTest, ApplicationLockKeepsASecondWriterOut) {
    createTable();
    if (GetParam() == Backend::OdbcPostgres || GetParam() == Backend::OdbcSqlite) {
        // Plain ODBC takes SQL Server's lock, which these drivers do not know: the failure is
        // reported and no transaction is left open behind it.
        EXPECT_LT(sqlca.beginLocked(QStringLiteral("import")), 0);
        EXPECT_FALSE(sqlca.SQLErrText.isEmpty());
        EXPECT_FALSE(sqlca.inTransaction());
        ASSERT_EQ(sqlca.execute(QStringLiteral("INSERT INTO t_item (id) VALUES (?)"), {1}), kSqlSuccess);
        Transaction other;
        database->configure(other);
        ASSERT_EQ(other.connect(), kSqlSuccess);
        const auto seen = other.selectInto(QStringLiteral("SELECT count(*) FROM t_item"));
        ASSERT_TRUE(seen.has_value());
        EXPECT_EQ(seen->first().toInt(), 1);
        return;
    }
    ASSERT_EQ(sqlca.beginLocked(QStringLiteral("import")), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    Transaction second;
    database->configure(second);
    second.DBParm += QStringLiteral(";Timeout=1");
    ASSERT_EQ(second.connect(), kSqlSuccess) << second.SQLErrText.toStdString();
    if (GetParam() == Backend::Postgres || GetParam() == Backend::PgBouncer) {
        const auto taken = second.selectInto(QStringLiteral("SELECT pg_try_advisory_xact_lock(hashtext(?))"),
                                             {QStringLiteral("import")});
        ASSERT_TRUE(taken.has_value()) << second.SQLErrText.toStdString();
        EXPECT_FALSE(taken->first().toBool());
        const auto other = second.selectInto(QStringLiteral("SELECT pg_try_advisory_xact_lock(hashtext(?))"),
                                             {QStringLiteral("another name")});
        ASSERT_TRUE(other.has_value());
        EXPECT_TRUE(other->first().toBool());
    } else {
        EXPECT_LT(second.beginLocked(QStringLiteral("import")), 0);
        EXPECT_FALSE(second.SQLErrText.isEmpty());
    }
    ASSERT_EQ(sqlca.commit(), kSqlSuccess);
    second.disconnect();
    second.DBParm.clear();
    database->configure(second);
    ASSERT_EQ(second.connect(), kSqlSuccess);
    EXPECT_EQ(second.beginLocked(QStringLiteral("import")), kSqlSuccess) << second.SQLErrText.toStdString();
    EXPECT_EQ(second.execute(QStringLiteral("INSERT INTO t_item (id) VALUES (?)"), {7}), kSqlSuccess);
    EXPECT_EQ(second.rollback(), kSqlSuccess);
}

INSTANTIATE_TEST_SUITE_P(Backends, TransactionTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres, Backend::OdbcPostgres,
                                           Backend::OdbcSqlite, Backend::PgBouncer),
                         test::backendTestName);

TEST(Transaction, UnknownSystemAndUseBeforeConnectAreReported) {
    Transaction sqlca;
    sqlca.DBMS = QStringLiteral("Oracle");
    EXPECT_LT(sqlca.connect(), 0);
    EXPECT_TRUE(sqlca.SQLErrText.contains(QStringLiteral("Oracle"))) << sqlca.SQLErrText.toStdString();
    EXPECT_FALSE(sqlca.selectInto(QStringLiteral("SELECT 1")).has_value());
    EXPECT_LT(sqlca.SQLCode, 0);
    EXPECT_LT(sqlca.commit(), 0);
}

} // namespace

// The server's text as the operator reads it: without the driver's prefix, the notices ahead of
// it, or a line twice; the driver's text only when the server gave none.
TEST(DatabaseErrorText, KeepsTheServersWordsOnce) {
    const struct {
        const char* server;
        const char* driver;
        const char* shown;
    } cases[] = {
        {"WARNING:  terminating connection because of unexpected SIGQUIT signal\n"
         "server closed the connection unexpectedly\n\tThis probably means the server terminated "
         "abnormally\n",
         "QPSQL: Unable to create query",
         "server closed the connection unexpectedly\n\tThis probably means the server terminated abnormally"},
        {"WARNING:  terminating connection because of crash of another server process\nDETAIL:  The "
         "postmaster "
         "has commanded this server process to roll back\nHINT:  In a moment you should be able to "
         "reconnect\n"
         "FATAL:  the database system is in recovery mode\nFATAL:  the database system is in recovery mode\n",
         "QPSQL: Could not connect", "FATAL:  the database system is in recovery mode"},
        {"ERROR:  relation \"t\" does not exist\nLINE 1: select * from t\n                      ^\n",
         "QPSQL: x",
         "ERROR:  relation \"t\" does not exist\nLINE 1: select * from t\n                      ^"},
        {"no such table: t_missing", "Unable to execute statement", "no such table: t_missing"},
        {"", "Unable to open database file", "Unable to open database file"},
        {"WARNING:  only a notice", "", "WARNING:  only a notice"},
        {"", "", "unknown database error"},
    };
    for (const auto& one : cases)
        EXPECT_EQ(databaseErrorText(QString::fromUtf8(one.server), QString::fromUtf8(one.driver)),
                  QString::fromUtf8(one.shown))
            << one.server;
}
