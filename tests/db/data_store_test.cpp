#include "support/database_backends.h"

#include "db/data_store.h"

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

class DataStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        database.configure(sqlca);
        ASSERT_EQ(sqlca.connect(), kSqlSuccess) << sqlca.SQLErrText.toStdString();
        ASSERT_EQ(sqlca.executeImmediate(
                      QStringLiteral("CREATE TABLE t_menu (item_order numeric(5, 2), "
                                     "item_index int, parent_index int, name char(10), data BLOB)")),
                  kSqlSuccess);
        const QList<QVariantList> rows{{2.5, 13, 0, QStringLiteral("b")},
                                       {1.0, 1, 0, QStringLiteral("a")},
                                       {10.0, 27, 13, QVariant(QMetaType::fromType<QString>())},
                                       {2.0, 16, 13, QStringLiteral("d")},
                                       {1.0, 14, 13, QStringLiteral("c")}};
        for (const QVariantList& row : rows)
            ASSERT_EQ(sqlca.execute(QStringLiteral("INSERT INTO t_menu VALUES (?, ?, ?, ?, NULL)"), row),
                      kSqlSuccess);
    }

    test::BackendDatabase database{test::Backend::Sqlite};
    Transaction sqlca;
};

TEST_F(DataStoreTest, RetrievesWithArgumentsAndSortsNumbersAsNumbers) {
    DataStore store(
        {QStringLiteral("d_children"),
         QStringLiteral("SELECT item_order, item_index, name, data FROM t_menu WHERE parent_index = ?"),
         {QStringLiteral("item_order"), QStringLiteral("item_index"), QStringLiteral("name"),
          QStringLiteral("data")},
         QStringLiteral("item_order A, item_index D"),
         {QStringLiteral("parent")}});
    store.setTransaction(&sqlca);
    const Result<int> retrieved = store.retrieve({13});
    ASSERT_TRUE(retrieved) << retrieved.error().toStdString();
    ASSERT_EQ(*retrieved, 3);
    // 10.00 sorts after 2.00, which a text comparison would get wrong.
    EXPECT_EQ(store.getItemNumber(1, QStringLiteral("item_index")), 14);
    EXPECT_EQ(store.getItemNumber(2, QStringLiteral("ITEM_INDEX")), 16);
    EXPECT_EQ(store.getItemNumber(3, 2), 27);
    EXPECT_DOUBLE_EQ(store.getItemDecimal(3, 1).value_or(0), 10.0);
    EXPECT_EQ(store.getItemString(1, QStringLiteral("name")), QStringLiteral("c"));
    // NULL reads as a null text; a row or column that does not exist gives no value at all.
    ASSERT_TRUE(store.getItemString(3, QStringLiteral("name")).has_value());
    EXPECT_TRUE(store.getItemString(3, QStringLiteral("name"))->isNull());
    EXPECT_TRUE(store.isNull(3, QStringLiteral("name")));
    EXPECT_FALSE(store.getItemNumber(3, QStringLiteral("name")).has_value());
    EXPECT_FALSE(store.getItemString(4, 1).has_value());
    EXPECT_FALSE(store.getItemString(0, 1).has_value());
    EXPECT_FALSE(store.getItemString(1, QStringLiteral("missing")).has_value());
    ASSERT_TRUE(store.getItemBytes(1, 4).has_value());
    EXPECT_TRUE(store.getItemBytes(1, 4)->isNull());

    ASSERT_EQ(store.retrieve({99}).value(), 0);
    EXPECT_EQ(store.rowCount(), 0);
}

TEST_F(DataStoreTest, MismatchesAndFailuresAreReportedNotHidden) {
    DataStore store({QStringLiteral("d_bad"),
                     QStringLiteral("SELECT item_index FROM t_menu WHERE parent_index = ?"),
                     {QStringLiteral("item_index")},
                     QString(),
                     {QStringLiteral("parent")}});
    const Result<int> withoutTransaction = store.retrieve({0});
    ASSERT_FALSE(withoutTransaction);
    EXPECT_FALSE(withoutTransaction.error().isEmpty());
    store.setTransaction(&sqlca);
    const Result<int> withoutArguments = store.retrieve({});
    ASSERT_FALSE(withoutArguments);
    EXPECT_TRUE(withoutArguments.error().contains(QStringLiteral("1 retrieval arguments")))
        << withoutArguments.error().toStdString();
    ASSERT_EQ(store.retrieve({0}).value(), 2);

    DataStore wrongColumns({QStringLiteral("d_wide"),
                            QStringLiteral("SELECT item_index, name FROM t_menu"),
                            {QStringLiteral("item_index")},
                            QString(),
                            {}});
    wrongColumns.setTransaction(&sqlca);
    EXPECT_FALSE(wrongColumns.retrieve());

    DataStore wrongSort({QStringLiteral("d_sort"),
                         QStringLiteral("SELECT item_index FROM t_menu"),
                         {QStringLiteral("item_index")},
                         QStringLiteral("nothing A"),
                         {}});
    wrongSort.setTransaction(&sqlca);
    const Result<int> sorted = wrongSort.retrieve();
    ASSERT_FALSE(sorted);
    EXPECT_TRUE(sorted.error().contains(QStringLiteral("nothing")));

    DataStore brokenSelect({QStringLiteral("d_broken"),
                            QStringLiteral("SELECT x FROM t_nowhere"),
                            {QStringLiteral("x")},
                            QString(),
                            {}});
    brokenSelect.setTransaction(&sqlca);
    const Result<int> broken = brokenSelect.retrieve();
    ASSERT_FALSE(broken);
    EXPECT_LT(sqlca.SQLCode, 0);
    EXPECT_TRUE(broken.error().contains(QStringLiteral("t_nowhere")));
}

} // namespace
