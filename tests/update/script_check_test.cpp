#include "update/script_check.h"

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

bool refused(const char* script) {
    return scriptRefusal(QString::fromUtf8(script)).has_value();
}

} // namespace

TEST(ScriptCheckTest, TransactionControlIsRefusedInEveryDialectAndCase) {
    for (const char* script :
         {"commit", "insert into t values (1); COMMIT;", "update t set a = 1;\n  Commit Work;", "begin;",
          "BEGIN TRANSACTION;", "begin immediate; insert into t values (1)", "END;", "end transaction",
          "rollback", "insert into t values (1)\nROLLBACK TRANSACTION",
          "savepoint a; insert into t values (1); release a", "release savepoint a", "abort",
          "start transaction isolation level serializable", "prepare transaction 'x'",
          "BEGIN TRAN\nUPDATE t SET a = 1\nCOMMIT TRAN", "update t set a = 1\nSAVE TRANSACTION s",
          "insert or rollback into t values (1)",
          "create trigger r before insert on t begin select raise(rollback, 'no'); end;",
          "IF 1 = 1 BEGIN COMMIT END", "select 1; /* c */ -- note\n commit",
          // Read the way one of the dialects reads them, each of these holds a
          // live COMMIT: PostgreSQL takes brackets and backticks for operators,
          // SQLite and SQL Server take a backslash for an ordinary character and
          // know no $$ quotes, and SQLite ends a block comment at its first */.
          "select [commit] from t", "select `commit` from t", "select e'it\\'s commit' from t",
          "do $body$ begin commit; end $body$", "/* a /* b */ commit; */"}) {
        EXPECT_TRUE(refused(script)) << script;
    }
    const std::optional<QString> reason = scriptRefusal(QStringLiteral("update t set a = 1;\n\ncommit;"));
    ASSERT_TRUE(reason);
    EXPECT_TRUE(reason->contains(QStringLiteral("line 3"))) << reason->toStdString();
    EXPECT_TRUE(reason->contains(QStringLiteral("\"COMMIT\""))) << reason->toStdString();
}

TEST(ScriptCheckTest, BlocksQuotesAndCommentsAreNotTransactionControl) {
    for (const char* script :
         {"", "update t_sys_config set conf_remark = 'commit; rollback' where conf_type = 'FR'",
          "select \"begin\", \"commit\" from t", "-- commit\nselect 1 /* rollback; begin; */",
          "/* outer /* nested commit */ still comment */ select 1",
          "create function f() returns int as $$ begin return 1; end $$ language plpgsql;",
          "create function f(a int) returns int as $$ begin if a > 0 then return 1; end if; return 0; end $$ "
          "language plpgsql",
          "create trigger r after insert on t begin insert into u values (new.a); end;",
          "create temp table x (a int) on commit drop",
          "select case when a = 1 then 'x' else 'y' end from t; select 1",
          "IF EXISTS (SELECT 1 FROM t) BEGIN UPDATE t SET a = 1 END",
          "BEGIN TRY\n UPDATE t SET a = 1\nEND TRY\nBEGIN CATCH\n SELECT 1\nEND CATCH",
          "create procedure p as begin update t set a = 1; end", "select $1, a$b from t",
          "insert into t (committed, rollbacks, ending) values (1, 2, 3)"}) {
        EXPECT_FALSE(refused(script))
            << script << ": " << scriptRefusal(QString::fromUtf8(script)).value_or(QString()).toStdString();
    }
}

TEST(ScriptCheckTest, ZeroByteIsRefusedWithItsPlace) {
    const QString script =
        QStringLiteral("select 1;\nselect 2") + QChar(0) + QStringLiteral("; drop table t");
    const std::optional<QString> reason = scriptRefusal(script);
    ASSERT_TRUE(reason);
    EXPECT_TRUE(reason->contains(QStringLiteral("zero byte"))) << reason->toStdString();
    EXPECT_TRUE(reason->contains(QStringLiteral("line 2"))) << reason->toStdString();
    EXPECT_TRUE(reason->contains(QStringLiteral("character 19"))) << reason->toStdString();
}
