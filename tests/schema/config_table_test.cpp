#include "schema/config_table.h"

#include "host/settings_store.h"
#include "schema/schema_bootstrap.h"
#include "support/database_backends.h"

#include <gtest/gtest.h>

using namespace tarnlow;
using test::Backend;

namespace {

class ConfigTableTest : public test::ConnectedBackendTest {
protected:
    void SetUp() override {
        ConnectedBackendTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        SettingsStore settings = SettingsStore::standard();
        ASSERT_EQ(ensureSystemTables(sqlca, settings, {}).state, SystemTablesState::Initialised);
        ASSERT_EQ(sqlca.execute(QStringLiteral("insert into t_sys_config values ('LIB', 'old.so', NULL), "
                                               "('SHOP', '1', 'shop on')")),
                  kSqlSuccess)
            << sqlca.SQLErrText.toStdString();
    }

    QList<ConfigRow> rows() {
        const Result<QList<ConfigRow>> read = readConfigRows(sqlca);
        EXPECT_TRUE(read.ok()) << (read.ok() ? std::string() : read.error().toStdString());
        return read.ok() ? *read : QList<ConfigRow>();
    }
};

const ConfigRow kMarker{QStringLiteral("FR"), QStringLiteral("N"), QStringLiteral("First run")};

} // namespace

TEST_P(ConfigTableTest, RowsAreReadWithoutPaddingAndSavedInOneGo) {
    const QList<ConfigRow> before = rows();
    ASSERT_EQ(before,
              (QList<ConfigRow>{kMarker,
                                {QStringLiteral("LIB"), QStringLiteral("old.so"), QString()},
                                {QStringLiteral("SHOP"), QStringLiteral("1"), QStringLiteral("shop on")}}));

    // LIB emptied (no libraries), SHOP deleted, MAIL added.
    const QList<ConfigRow> edited{kMarker,
                                  {QStringLiteral("LIB"), QString(), QStringLiteral("none for now")},
                                  {QStringLiteral("MAIL"), QStringLiteral("smtp.local"), QString()}};
    EXPECT_FALSE(configRowsProblem(before, edited, database->scratch().path()).has_value());
    const Result<ConfigChanges, NumberedMessage> saved = saveConfigRows(sqlca, before, edited);
    ASSERT_TRUE(saved.ok()) << saved.error().parameters.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(saved->added, 1);
    EXPECT_EQ(saved->changed, 1);
    EXPECT_EQ(saved->deleted, 1);
    EXPECT_EQ(rows(), (QList<ConfigRow>{kMarker,
                                        {QStringLiteral("LIB"), QString(), QStringLiteral("none for now")},
                                        {QStringLiteral("MAIL"), QStringLiteral("smtp.local"), QString()}}));
    // An empty value is stored as NULL, as "no libraries" has always been.
    EXPECT_TRUE(
        sqlca.selectInto(QStringLiteral("select conf_value from t_sys_config where conf_type = 'LIB'"))
            ->value(0)
            .isNull());
    EXPECT_FALSE(sqlca.inTransaction());
}

// A row someone else deleted after the editor read it fails the whole save: the row added before
// the failing update is gone again.
TEST_P(ConfigTableTest, ARowDeletedMeanwhileRollsTheWholeSaveBack) {
    const QList<ConfigRow> before = rows();
    Transaction other;
    database->configure(other);
    ASSERT_EQ(other.connect(), kSqlSuccess);
    ASSERT_EQ(other.execute(QStringLiteral("delete from t_sys_config where conf_type = 'SHOP'")),
              kSqlSuccess);
    other.disconnect();

    QList<ConfigRow> edited = before;
    edited.prepend({QStringLiteral("MAIL"), QStringLiteral("x"), QString()});
    edited.last().value = QStringLiteral("2");
    const Result<ConfigChanges, NumberedMessage> saved = saveConfigRows(sqlca, before, edited);
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error().number, kMessageConfigNotSaved);
    EXPECT_TRUE(saved.error().parameters.value(0).contains(QStringLiteral("SHOP")))
        << saved.error().parameters.value(0).toStdString();
    EXPECT_EQ(rows().size(), 2);
    EXPECT_FALSE(sqlca.inTransaction());
}

INSTANTIATE_TEST_SUITE_P(Backends, ConfigTableTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         test::backendTestName);

TEST(ConfigRows, WhatCannotBeSavedIsNamed) {
    test::ScratchFolder folder;
    ASSERT_TRUE(folder.write(QStringLiteral("site.so"), "not empty"));
    const QList<ConfigRow> original{kMarker, {QStringLiteral("LIB"), QStringLiteral("gone.so"), QString()}};
    const auto with = [&original](const ConfigRow& row) {
        QList<ConfigRow> rows = original;
        rows.append(row);
        return rows;
    };
    const auto lib = [&original](const QString& value) {
        QList<ConfigRow> rows = original;
        rows[1].value = value;
        return rows;
    };
    struct Case {
        const char* name;
        QList<ConfigRow> edited;
        std::optional<NumberedMessage> problem;
    };
    const QString longText(256, QLatin1Char('x'));
    const QList<Case> cases{
        {"unchanged, even with a LIB that names a missing file", original, std::nullopt},
        {"empty type", with({QStringLiteral(" "), QStringLiteral("1"), QString()}),
         NumberedMessage{kMessageConfigRowRefused, {QStringLiteral("3")}}},
        {"type of 11 characters", with({QStringLiteral("ABCDEFGHIJK"), QString(), QString()}),
         NumberedMessage{kMessageConfigRowRefused, {QStringLiteral("3")}}},
        {"value of 256 characters", with({QStringLiteral("A"), longText, QString()}),
         NumberedMessage{kMessageConfigRowRefused, {QStringLiteral("3")}}},
        {"type twice", with({QStringLiteral("lib "), QString(), QString()}),
         NumberedMessage{kMessageConfigTypeTwice, {QStringLiteral("lib")}}},
        {"marker changed",
         QList<ConfigRow>{{QStringLiteral("FR"), QStringLiteral("Y"), QString()}, original.at(1)},
         NumberedMessage{kMessageConfigFirstRunKept, {}}},
        {"marker deleted", QList<ConfigRow>{original.at(1)}, NumberedMessage{kMessageConfigFirstRunKept, {}}},
        {"LIB names a missing library", lib(QStringLiteral("site.so, nowhere.so,,/abs/none.so")),
         NumberedMessage{kMessageConfigLibrariesMissing,
                         {folder.path(), QStringLiteral("nowhere.so, /abs/none.so")}}},
        {"LIB names existing libraries",
         lib(QStringLiteral(" site.so,") + folder.file(QStringLiteral("site.so"))), std::nullopt},
        {"LIB emptied", lib(QString()), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(configRowsProblem(original, c.edited, folder.path()), c.problem) << c.name;
}
