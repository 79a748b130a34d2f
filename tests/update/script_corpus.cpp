#include "script_corpus.h"

#include "support/test_environment.h"

#include <QFile>

namespace tarnlow::test {
namespace {

const QList<CorpusScript> kSqlServer = {
    {"proc_try_catch.sql"},
    {"trigger_rollback.sql"},
    {"top_level_begin_commit.sql"},
    {"proc_savepoint.sql"},
    {"top_level_savepoint.sql"},
    {"merge_statement.sql"},
    {"cte_update.sql"},
    {"function_scalar.sql"},
    {"view_create_or_alter.sql"},
    {"ssms_generated.sql"},
    {"comments_and_strings.sql"},
    {"bracketed_names.sql"},
    {"if_exists_drop_create.sql"},
    {"nocount_batch.sql"},
    {"proc_with_backup_inside.sql"},
    {"nested_begin_commit.sql"},
    {"commit_work.sql"},
    {"scoped_configuration.sql"},
    {"dynamic_sql.sql"},
    {"trigger_instead_of.sql"},
    {"top_level_rollback.sql", 4, "ROLLBACK TRAN"},
    {"unbalanced_commit.sql", 2, "COMMIT"},
    {"begin_left_open.sql", 2, "BEGIN TRANSACTION"},
    {"distributed_transaction.sql", 1, "BEGIN DISTRIBUTED TRANSACTION"},
    {"top_level_try_catch.sql", 7, "ROLLBACK TRANSACTION"},
    {"procedure_not_first.sql", 2, "CREATE PROCEDURE"},
    {"backup_database.sql", 2, "BACKUP"},
    {"create_database.sql", 1, "CREATE DATABASE"},
    {"fulltext_catalog.sql", 1, "CREATE FULLTEXT CATALOG"},
    {"rollback_unknown_savepoint.sql", 3, "ROLLBACK TRAN BEFORE_PRICE"},
    {"go_with_count.sql", 2, "GO 5"},
};

const QList<CorpusScript> kPostgres = {
    {"add_column.sql"},
    {"plpgsql_function.sql"},
    {"do_block.sql"},
    {"trigger_function.sql"},
    {"tagged_dollar_quote.sql"},
    {"merge.sql"},
    {"cte_insert.sql"},
    {"begin_atomic.sql"},
    {"comments_and_strings.sql"},
    {"quoted_names.sql"},
    {"create_index.sql"},
    {"upsert.sql"},
    {"view.sql"},
    {"procedure_call.sql"},
    {"enum_type.sql"},
    {"temp_table_on_commit.sql"},
    {"case_end.sql"},
    {"nested_comment.sql"},
    {"commit.sql", 2, "COMMIT"},
    {"begin_commit.sql", 1, "BEGIN"},
    {"rollback.sql", 2, "ROLLBACK"},
    {"end.sql", 2, "END"},
    {"savepoint.sql", 1, "SAVEPOINT"},
    {"create_index_concurrently.sql", 2, "CREATE INDEX CONCURRENTLY"},
    {"vacuum.sql", 2, "VACUUM"},
    {"create_database.sql", 1, "CREATE DATABASE"},
    {"alter_system.sql", 1, "ALTER SYSTEM"},
    {"go_line.sql", 2, "GO"},
    {"reindex_concurrently.sql", 1, "REINDEX TABLE CONCURRENTLY"},
    {"drop_index_concurrently.sql", 1, "DROP INDEX CONCURRENTLY"},
};

const QList<CorpusScript> kSqlite = {
    {"add_column.sql"},
    {"trigger.sql"},
    {"trigger_with_case.sql"},
    {"upsert.sql"},
    {"recursive_cte.sql"},
    {"view.sql"},
    {"quoted_names.sql"},
    {"comments_and_strings.sql"},
    {"create_index.sql"},
    {"table_rebuild.sql"},
    {"raise_abort.sql"},
    {"insert_or_replace.sql"},
    {"json_settings.sql"},
    {"window_function.sql"},
    {"strict_table.sql"},
    {"generated_column.sql"},
    {"commit.sql", 2, "COMMIT"},
    {"begin_immediate.sql", 1, "BEGIN IMMEDIATE"},
    {"end_transaction.sql", 2, "END TRANSACTION"},
    {"insert_or_rollback.sql", 1, "OR ROLLBACK"},
    {"raise_rollback.sql", 3, "RAISE(ROLLBACK"},
    {"on_conflict_rollback.sql", 1, "ON CONFLICT ROLLBACK"},
    {"vacuum.sql", 2, "VACUUM"},
    {"journal_mode_wal.sql", 1, "PRAGMA JOURNAL_MODE WAL"},
    {"savepoint.sql", 1, "SAVEPOINT"},
    {"unnested_comment.sql", 1, "COMMIT"},
    {"go_line.sql", 2, "GO"},
    {"explain_begin.sql", 1, "BEGIN"},
};

QString folderOf(ScriptDialect dialect) {
    switch (dialect) {
    case ScriptDialect::SqlServer:
        return QStringLiteral("sql_server");
    case ScriptDialect::PostgreSql:
        return QStringLiteral("postgresql");
    case ScriptDialect::Sqlite:
        return QStringLiteral("sqlite");
    }
    return {};
}

QString readFixture(const QString& name) {
    QFile file(fixturePath(QStringLiteral("update_scripts/") + name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

const QList<CorpusScript>& corpusOf(ScriptDialect dialect) {
    switch (dialect) {
    case ScriptDialect::SqlServer:
        return kSqlServer;
    case ScriptDialect::PostgreSql:
        return kPostgres;
    case ScriptDialect::Sqlite:
        return kSqlite;
    }
    return kSqlServer;
}

QString corpusText(ScriptDialect dialect, const char* file) {
    return readFixture(folderOf(dialect) + QLatin1Char('/') + QString::fromUtf8(file));
}

QString corpusBaseSchema() {
    return readFixture(QStringLiteral("base.sql"));
}

} // namespace tarnlow::test
