#include "import_fixture.h"
#include "script_corpus.h"
#include "update/import_engine.h"

#include <gtest/gtest.h>

namespace tarnlow {
namespace {

using test::Backend;
using test::CorpusScript;

QString rowsText(const std::optional<QList<QVariantList>>& rows) {
    QStringList lines;
    for (const QVariantList& row : rows.value_or(QList<QVariantList>())) {
        QStringList values;
        for (const QVariant& value : row)
            values.append(value.isNull() ? QStringLiteral("NULL") : value.toString());
        lines.append(values.join(QLatin1Char('|')));
    }
    return lines.join(QLatin1Char('\n'));
}

// The corpus of the database behind the backend, applied for real through the import: each script
// to a fresh copy of the game tables (its own schema on PostgreSQL, its own file on SQLite).
class ImportCorpusTest : public test::ConnectedBackendTest {
protected:
    ScriptDialect dialect() const {
        return GetParam() == Backend::Postgres ? ScriptDialect::PostgreSql : ScriptDialect::Sqlite;
    }

    void freshDatabase(int number) {
        if (GetParam() == Backend::Postgres) {
            ASSERT_EQ(
                sqlca.executeImmediate(
                    QStringLiteral("create schema corpus_%1; set search_path to corpus_%1").arg(number)),
                kSqlSuccess)
                << sqlca.SQLErrText.toStdString();
        } else {
            sqlca.disconnect();
            sqlca.Database = database->scratch().file(QStringLiteral("corpus_%1.db").arg(number));
            ASSERT_EQ(sqlca.connect(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
        }
        ASSERT_EQ(test::createVersionTable(sqlca, database->binaryType()), kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
        ASSERT_EQ(sqlca.executeImmediate(test::corpusBaseSchema()), kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
    }

    // The objects of the database and every row of the game tables.
    QString fingerprint() {
        const QString catalog =
            GetParam() == Backend::Postgres
                ? QStringLiteral(
                      "select 'class ' || relname || ' ' || relkind from pg_class where relnamespace = "
                      "current_schema()::regnamespace union all select 'function ' || proname from pg_proc "
                      "where pronamespace = current_schema()::regnamespace union all select 'type ' || "
                      "typname "
                      "from pg_type where typnamespace = current_schema()::regnamespace union all select "
                      "'trigger ' || tgname from pg_trigger t join pg_class c on c.oid = t.tgrelid where "
                      "c.relnamespace = current_schema()::regnamespace order by 1")
                : QStringLiteral("select type, name, sql from sqlite_master order by type, name");
        QString text = rowsText(sqlca.selectAll(catalog));
        for (const char* table : {"guild", "player", "item", "inventory", "t_sys_ver"})
            text += QStringLiteral("\n-- ") + QString::fromLatin1(table) + QLatin1Char('\n') +
                    rowsText(sqlca.selectAll(
                        QStringLiteral("select * from %1 order by 1, 2").arg(QLatin1String(table))));
        return text;
    }

    ImportReport importScript(int number, const QString& script) {
        const QByteArray package = test::buildPackage(
            QByteArray::number(number).rightJustified(2, '0'), "001",
            {test::PackageFileSpec{"patch.dll", "MZ"}, std::nullopt, std::nullopt, std::nullopt},
            script.toUtf8());
        const QString name = QStringLiteral("corpus_%1.fuf").arg(number);
        EXPECT_TRUE(database->scratch().write(name, package));
        return importPackage(sqlca, database->scratch().file(name));
    }
};

TEST_P(ImportCorpusTest, AcceptedScriptsStoreTheirPackageAndRefusedOnesChangeNothing) {
    const QList<CorpusScript>& corpus = test::corpusOf(dialect());
    for (qsizetype i = 0; i < corpus.size(); ++i) {
        const CorpusScript& entry = corpus.at(i);
        SCOPED_TRACE(entry.file);
        const int number = static_cast<int>(i) + 1;
        freshDatabase(number);
        if (HasFatalFailure())
            return;
        const QString before = fingerprint();
        const ImportReport report = importScript(number, test::corpusText(dialect(), entry.file));
        const std::string failure = report.failure
                                        ? report.failure->parameters.join(QStringLiteral(" | ")).toStdString()
                                        : std::string();
        if (entry.line == 0) {
            EXPECT_EQ(report.result, ImportResult::Stored) << failure;
            EXPECT_TRUE(report.scriptRan);
            EXPECT_EQ(test::storedRows(sqlca).size(), 1);
            continue;
        }
        EXPECT_EQ(report.result, ImportResult::Failed);
        ASSERT_TRUE(report.failure.has_value());
        // Refused before anything ran: for every database (10300), or for this one (10308).
        EXPECT_TRUE(report.failure->number == kMsgImportPackageRefused ||
                    report.failure->number == kMsgImportScriptRefusedHere)
            << report.failure->number << ": " << failure;
        EXPECT_TRUE(
            report.failure->parameters.join(QLatin1Char(' ')).contains(QString::fromUtf8(entry.words)))
            << failure;
        EXPECT_FALSE(report.scriptRan);
        EXPECT_FALSE(sqlca.inTransaction());
        EXPECT_EQ(fingerprint(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportCorpusTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         test::backendTestName);

} // namespace
} // namespace tarnlow
