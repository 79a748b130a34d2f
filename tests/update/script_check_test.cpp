#include "script_corpus.h"
#include "update/script_check.h"

#include <gtest/gtest.h>

using namespace tarnlow;
using tarnlow::test::CorpusScript;

namespace {

// "" when the script applies, else "line N, WORDS".
std::string verdictText(const ScriptVerdict& verdict) {
    return verdict.applies() ? std::string() : verdict.refusal->place().toStdString();
}

class CorpusVerdictTest : public ::testing::TestWithParam<ScriptDialect> {};

// Realistic update scripts, each judged the way its own database reads it.
TEST_P(CorpusVerdictTest, EveryScriptGetsItsVerdict) {
    const QList<CorpusScript>& corpus = test::corpusOf(GetParam());
    EXPECT_GE(corpus.size(), 25);
    for (const CorpusScript& entry : corpus) {
        const QString script = test::corpusText(GetParam(), entry.file);
        ASSERT_FALSE(script.isEmpty()) << entry.file << " is missing";
        const std::string expected =
            entry.line == 0 ? std::string() : "line " + std::to_string(entry.line) + ", " + entry.words;
        const ScriptVerdict verdict = judgeScript(script, GetParam());
        EXPECT_EQ(verdictText(verdict), expected)
            << entry.file << ": " << (verdict.refusal ? verdict.refusal->text().toStdString() : "applies");
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, CorpusVerdictTest,
                         ::testing::Values(ScriptDialect::SqlServer, ScriptDialect::PostgreSql,
                                           ScriptDialect::Sqlite),
                         [](const ::testing::TestParamInfo<ScriptDialect>& dialect) {
                             return scriptDialectName(dialect.param).remove(QLatin1Char(' ')).toStdString();
                         });

// Short scripts whose databases read them differently: quotes and comments one of them does not
// know, words that are transaction control in one dialect only, GO lines.
struct Snippet {
    const char* script;
    const char* sqlServer; // "" when it applies, else "line N, WORDS"
    const char* postgres;
    const char* sqlite;
};

TEST(ScriptCheckTest, EachDatabaseReadsQuotesCommentsAndStatementsItsOwnWay) {
    const Snippet snippets[] = {
        {"commit", "line 1, COMMIT", "line 1, COMMIT", "line 1, COMMIT"},
        {"select 1; /* c */ -- note\n commit", "line 2, COMMIT", "line 2, COMMIT", "line 2, COMMIT"},
        {"update t set a = 1;\n  Commit Work;", "line 2, COMMIT WORK", "line 2, COMMIT WORK",
         "line 2, COMMIT"},
        {"rollback", "line 1, ROLLBACK", "line 1, ROLLBACK", "line 1, ROLLBACK"},
        {"BEGIN TRANSACTION;", "line 1, BEGIN TRANSACTION", "line 1, BEGIN TRANSACTION",
         "line 1, BEGIN TRANSACTION"},
        {"BEGIN TRAN\nUPDATE t SET a = 1\nCOMMIT TRAN", "", "line 1, BEGIN TRAN", "line 1, BEGIN TRAN"},
        {"begin;", "", "line 1, BEGIN", "line 1, BEGIN"},
        {"END;", "", "line 1, END", "line 1, END"},
        {"savepoint a; insert into t values (1); release a", "", "line 1, SAVEPOINT", "line 1, SAVEPOINT"},
        {"abort", "", "line 1, ABORT", ""},
        {"start transaction isolation level serializable", "", "line 1, START TRANSACTION", ""},
        {"prepare transaction 'x'", "", "line 1, PREPARE TRANSACTION", ""},
        {"insert or rollback into t values (1)", "line 1, ROLLBACK", "", "line 1, OR ROLLBACK"},
        {"IF 1 = 1 BEGIN COMMIT END", "line 1, COMMIT", "", ""},
        {"BEGIN TRY\n UPDATE t SET a = 1\nEND TRY\nBEGIN CATCH\n SELECT 1\nEND CATCH", "", "line 1, BEGIN",
         "line 1, BEGIN"},
        {"ROLLBACK TRANSACTION\nTHROW;", "line 1, ROLLBACK TRANSACTION THROW", "line 1, ROLLBACK TRANSACTION",
         "line 1, ROLLBACK TRANSACTION"},
        {"SAVE TRAN [my point]\nUPDATE t SET a = 1\nROLLBACK TRAN [My Point]", "", "", "line 3, ROLLBACK"},
        {"create temp table x (a int) on commit drop", "line 1, COMMIT", "", ""},
        {"CREATE DATABASE AUDIT SPECIFICATION audit_player", "", "line 1, CREATE DATABASE", ""},
        {"GRANT CREATE PROCEDURE, BACKUP DATABASE TO game_admin;\nGRANT EXECUTE ON dbo.usp_a TO game_server",
         "", "", ""},
        // Quotes one database does not know: SQL Server and SQLite know no E'' or $$, PostgreSQL
        // no brackets, SQLite no nested comments.
        {"select e'it\\'s commit' from t", "line 1, COMMIT", "", ""},
        {"do $body$ begin commit; end $body$", "line 1, COMMIT", "", "line 1, END"},
        {"create function f() returns int as $$ begin return 1; end $$ language plpgsql;", "", "",
         "line 1, END"},
        {"create trigger r before insert on t begin select raise(rollback, 'no'); end;", "", "line 1, END",
         "line 1, RAISE(ROLLBACK"},
        {"/* a /* b */ commit; */", "", "", "line 1, COMMIT"},
        {"create rule log_item as on insert to item do also (insert into a values (1); update b set x = 2);\n"
         "end;",
         "", "line 2, END", "line 2, END"},
        {"select [commit], `rollback` from t", "line 1, ROLLBACK", "", ""},
        // GO lines: a batch end for SQL Server alone; inside a quote or comment they are text.
        {"select 1\nGO\nselect 2", "", "line 2, GO", "line 2, GO"},
        {"select 1\n  go  -- next batch\nselect 2", "", "line 2, GO", "line 2, GO"},
        {"select 1\nGO 3", "line 2, GO 3", "line 2, GO", "line 2, GO"},
        {"select 1\ngo 3x\n", "", "", ""},
        {"select 'a\nGO\nb'", "", "", ""},
        {"/*\nGO\n*/ select 1", "", "", ""},
        // Words inside quotes, comments and names are not statements anywhere.
        {"update t_sys_config set conf_remark = 'commit; rollback' where conf_type = 'FR'", "", "", ""},
        {"select \"begin\", \"commit\" from t", "", "", ""},
        {"-- commit\nselect 1 /* rollback; begin; */", "", "", ""},
        {"SELECT N'it''s COMMIT', EXEC_NAME FROM t", "", "", ""},
        {"select case when a = 1 then 'x' else 'y' end from t; select 1", "", "", ""},
        {"IF EXISTS (SELECT 1 FROM t) BEGIN UPDATE t SET a = 1 END", "", "", ""},
        {"select $1, a$b from t", "", "", ""},
        {"insert into t (committed, rollbacks, ending) values (1, 2, 3)", "", "", ""},
        {"", "", "", ""},
    };
    for (const Snippet& snippet : snippets) {
        const QString script = QString::fromUtf8(snippet.script);
        EXPECT_EQ(verdictText(judgeScript(script, ScriptDialect::SqlServer)), snippet.sqlServer)
            << "SQL Server: " << snippet.script;
        EXPECT_EQ(verdictText(judgeScript(script, ScriptDialect::PostgreSql)), snippet.postgres)
            << "PostgreSQL: " << snippet.script;
        EXPECT_EQ(verdictText(judgeScript(script, ScriptDialect::Sqlite)), snippet.sqlite)
            << "SQLite: " << snippet.script;
    }
}

TEST(ScriptCheckTest, SummaryGroupsTheDatabasesThatSayTheSame) {
    const ScriptVerdicts tsql =
        judgeScriptEverywhere(QStringLiteral("BEGIN TRAN\nUPDATE t SET a = 1\nCOMMIT TRAN"));
    EXPECT_FALSE(tsql.refusedEverywhere());
    EXPECT_TRUE(tsql.refusedSomewhere());
    EXPECT_EQ(tsql.summary(),
              QStringLiteral("applies on SQL Server; refused on PostgreSQL and SQLite: line 1, BEGIN TRAN"));
    EXPECT_TRUE(
        tsql.explained().startsWith(QStringLiteral("applies on SQL Server; refused on PostgreSQL and SQLite: "
                                                   "line 1, BEGIN TRAN: it would end or split")))
        << tsql.explained().toStdString();

    const ScriptVerdicts commit = judgeScriptEverywhere(QStringLiteral("update t set a = 1;\n\ncommit;"));
    EXPECT_TRUE(commit.refusedEverywhere());
    EXPECT_EQ(commit.summary(),
              QStringLiteral("refused on SQL Server, PostgreSQL and SQLite: line 3, COMMIT"));
    // SQL Server says why in words of its own, so the explanation names it apart.
    EXPECT_TRUE(commit.explained().startsWith(QStringLiteral(
        "refused on SQL Server: line 3, COMMIT: no BEGIN TRANSACTION of the script comes before it")))
        << commit.explained().toStdString();
    EXPECT_TRUE(
        commit.explained().contains(QStringLiteral("; refused on PostgreSQL and SQLite: line 3, COMMIT: ")))
        << commit.explained().toStdString();

    const ScriptVerdicts plain = judgeScriptEverywhere(QStringLiteral("update t set a = 1"));
    EXPECT_FALSE(plain.refusedSomewhere());
    EXPECT_EQ(plain.summary(), QStringLiteral("applies on SQL Server, PostgreSQL and SQLite"));
}

TEST(ScriptCheckTest, ZeroByteIsRefusedEverywhereWithItsPlace) {
    const QString script =
        QStringLiteral("select 1;\nselect 2") + QChar(0) + QStringLiteral("; drop table t");
    const ScriptVerdicts verdicts = judgeScriptEverywhere(script);
    ASSERT_TRUE(verdicts.refusedEverywhere());
    EXPECT_EQ(
        verdicts.summary(),
        QStringLiteral("refused on SQL Server, PostgreSQL and SQLite: line 2, zero byte at character 19"));
}

TEST(ScriptCheckTest, SqlServerBatchesAreTheTextsBetweenGoLines) {
    const QList<ScriptBatch> batches = sqlServerBatches(QStringLiteral("SET ANSI_NULLS ON\n"
                                                                       "GO\n"
                                                                       "\n"
                                                                       "CREATE PROCEDURE p AS SELECT 'GO'\n"
                                                                       "go -- end of the procedure\n"
                                                                       "/* only a comment */\n"
                                                                       "GO\n"));
    ASSERT_EQ(batches.size(), 4);
    EXPECT_EQ(batches.at(0).text, QStringLiteral("SET ANSI_NULLS ON\n"));
    EXPECT_EQ(batches.at(0).firstLine, 1);
    EXPECT_EQ(batches.at(1).text, QStringLiteral("\n\nCREATE PROCEDURE p AS SELECT 'GO'\n"));
    EXPECT_EQ(batches.at(1).firstLine, 4);
    EXPECT_TRUE(batches.at(1).hasStatements);
    EXPECT_EQ(batches.at(2).text, QStringLiteral(" -- end of the procedure\n/* only a comment */\n"));
    EXPECT_FALSE(batches.at(2).hasStatements);
    EXPECT_FALSE(batches.at(3).hasStatements);

    const QList<ScriptBatch> one = sqlServerBatches(QStringLiteral("UPDATE t SET a = 1"));
    ASSERT_EQ(one.size(), 1);
    EXPECT_EQ(one.first().text, QStringLiteral("UPDATE t SET a = 1"));
}

} // namespace
