#include "support/database_backends.h"

#include "db/dialect.h"

#include <gtest/gtest.h>

using namespace tarnlow;
using test::Backend;
using test::BackendDatabase;

namespace {

bool tableExists(Transaction& sqlca, const QString& table) {
    const auto row = sqlca.selectInto(sqlca.dialect().tableExistsQuery(), {table});
    return row && row->at(0).toLongLong() > 0;
}

// Texts of several statements handed to executeImmediate, as update packages carry them.
class StatementScriptTest : public test::ConnectedBackendTest {};

class SqliteScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        database = std::make_unique<BackendDatabase>(Backend::Sqlite);
        TARNLOW_REQUIRE_BACKEND(*database);
        database->configure(sqlca);
        ASSERT_EQ(sqlca.connect(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    }

    std::unique_ptr<BackendDatabase> database;
    Transaction sqlca;
};

TEST_P(StatementScriptTest, StatementsRunInOrderWithQuotedSemicolonsAndComments) {
    QStringList seen;
    sqlca.statementObserver = [&](const QString& sql) { seen.append(sql); };
    const QString script = QStringLiteral("-- a package script\n"
                                          "create table a ( x int, note varchar(20) );\n"
                                          "insert into a values ( 1, 'one; two' );\n"
                                          "/* the second row */ insert into a values ( 2, 'it''s' );\n"
                                          "update a set x = x + 10;  \n\n");
    ASSERT_EQ(sqlca.executeImmediate(script), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    EXPECT_EQ(seen, QStringList{script});
    if (GetParam() == Backend::Sqlite) {
        EXPECT_EQ(sqlca.SQLNRows, 4); // two inserts and an update of two rows
    }

    const auto rows = sqlca.selectAll(QStringLiteral("select x, note from a order by x"));
    ASSERT_TRUE(rows.has_value()) << sqlca.SQLErrText.toStdString();
    ASSERT_EQ(rows->size(), 2);
    EXPECT_EQ(rows->at(0).at(0).toInt(), 11);
    EXPECT_EQ(rows->at(0).at(1).toString(), QStringLiteral("one; two"));
    EXPECT_EQ(rows->at(1).at(0).toInt(), 12);
    EXPECT_EQ(rows->at(1).at(1).toString(), QStringLiteral("it's"));

    // A single statement still counts only its own rows.
    ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("delete from a where x = 11")), kSqlSuccess);
    EXPECT_EQ(sqlca.SQLNRows, 1);
}

TEST_P(StatementScriptTest, FailureMidwayGivesTheServersTextAndRollsBackWithTheTransaction) {
    ASSERT_EQ(sqlca.begin(), kSqlSuccess);
    EXPECT_EQ(
        sqlca.executeImmediate(QStringLiteral("create table a ( x int ); insert into a values ( 1 ); "
                                              "insert into nosuch values ( 2 ); create table b ( x int )")),
        kSqlFailure);
    EXPECT_TRUE(sqlca.SQLErrText.contains(QStringLiteral("nosuch"))) << sqlca.SQLErrText.toStdString();
    if (GetParam() == Backend::Sqlite) {
        EXPECT_TRUE(sqlca.SQLErrText.contains(QStringLiteral("statement 3")))
            << sqlca.SQLErrText.toStdString();
    }
    EXPECT_TRUE(sqlca.inTransaction());
    ASSERT_EQ(sqlca.rollback(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    EXPECT_FALSE(tableExists(sqlca, QStringLiteral("a")));
    EXPECT_FALSE(tableExists(sqlca, QStringLiteral("b")));

    // The connection carries on, and a committed script stays.
    ASSERT_EQ(sqlca.begin(), kSqlSuccess);
    ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("create table a ( x int ); insert into a values ( 1 )")),
              kSqlSuccess)
        << sqlca.SQLErrText.toStdString();
    ASSERT_EQ(sqlca.commit(), kSqlSuccess);
    EXPECT_TRUE(tableExists(sqlca, QStringLiteral("a")));
}

INSTANTIATE_TEST_SUITE_P(Backends, StatementScriptTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const ::testing::TestParamInfo<Backend>& parameter) {
                             return test::backendName(parameter.param);
                         });

TEST_F(SqliteScriptTest, SyntaxErrorNamesItsStatementAndNothingAfterItRuns) {
    EXPECT_EQ(sqlca.executeImmediate(QStringLiteral("create table a ( x int );\ninsert into a values ( 1 );\n"
                                                    "insert into a valuez ( 2 );\ncreate table b ( x int )")),
              kSqlFailure);
    EXPECT_TRUE(sqlca.SQLErrText.contains(QStringLiteral("syntax error"))) << sqlca.SQLErrText.toStdString();
    EXPECT_TRUE(sqlca.SQLErrText.contains(QStringLiteral("statement 3 of the script: insert into a valuez")))
        << sqlca.SQLErrText.toStdString();
    EXPECT_NE(sqlca.SQLDBCode, 0);
    // Without a transaction the statements before the failing one stay, as in a batch.
    const auto row = sqlca.selectInto(QStringLiteral("select count(*) from a"));
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->at(0).toInt(), 1);
    EXPECT_FALSE(tableExists(sqlca, QStringLiteral("b")));

    EXPECT_EQ(sqlca.executeImmediate(QStringLiteral("  -- nothing but a comment\n ")), kSqlSuccess);
    EXPECT_EQ(sqlca.SQLNRows, 0);
}

TEST_F(SqliteScriptTest, ScriptCannotEndOrSplitTheOpenTransaction) {
    ASSERT_EQ(sqlca.begin(), kSqlSuccess);
    for (const QString& script : {QStringLiteral("create table a ( x int ); commit"),
                                  QStringLiteral("insert into b values ( 1 ); rollback"),
                                  QStringLiteral("savepoint s; release s"), QStringLiteral("begin")}) {
        if (script.startsWith(QStringLiteral("insert"))) {
            ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("create table b ( x int )")), kSqlSuccess);
        }
        EXPECT_EQ(sqlca.executeImmediate(script), kSqlFailure) << script.toStdString();
        EXPECT_TRUE(sqlca.SQLErrText.contains(QStringLiteral("would end or split the open transaction")))
            << sqlca.SQLErrText.toStdString();
        EXPECT_TRUE(sqlca.inTransaction()) << script.toStdString();
    }
    // Nothing was committed behind the transaction's back: rolling it back removes both tables.
    ASSERT_EQ(sqlca.rollback(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
    EXPECT_FALSE(tableExists(sqlca, QStringLiteral("a")));
    EXPECT_FALSE(tableExists(sqlca, QStringLiteral("b")));

    // Outside a transaction the same statements are the caller's to give.
    ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("begin; create table a ( x int ); commit")), kSqlSuccess)
        << sqlca.SQLErrText.toStdString();
    EXPECT_TRUE(tableExists(sqlca, QStringLiteral("a")));

    // With AutoCommit off a transaction is always open, and it stays the one it was.
    Transaction manual;
    database->configure(manual);
    manual.AutoCommit = false;
    ASSERT_EQ(manual.connect(), kSqlSuccess) << manual.SQLErrText.toStdString();
    ASSERT_EQ(manual.executeImmediate(QStringLiteral("insert into a values ( 3 )")), kSqlSuccess);
    EXPECT_EQ(manual.executeImmediate(QStringLiteral("insert into a values ( 4 ); commit")), kSqlFailure);
    EXPECT_TRUE(manual.inTransaction());
    ASSERT_EQ(manual.rollback(), kSqlSuccess) << manual.SQLErrText.toStdString();
    EXPECT_EQ(sqlca.selectInto(QStringLiteral("select count(*) from a"))->at(0).toInt(), 0);
}

TEST_F(SqliteScriptTest, ZeroByteEndsTheScriptWithAnErrorInsteadOfSpinning) {
    ASSERT_EQ(sqlca.executeImmediate(QStringLiteral("create table a ( x int )")), kSqlSuccess);
    const QString script = QStringLiteral("insert into a values ( 1 );") + QChar(0) +
                           QStringLiteral("insert into a values ( 2 )");
    EXPECT_EQ(sqlca.executeImmediate(script), kSqlFailure);
    EXPECT_TRUE(sqlca.SQLErrText.contains(QStringLiteral("zero byte at byte 28")))
        << sqlca.SQLErrText.toStdString();
}

} // namespace
