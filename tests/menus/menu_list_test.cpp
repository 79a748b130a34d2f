#include "db/data_store.h"
#include "host/settings_store.h"
#include "menus/d_menu.h"
#include "schema/schema_bootstrap.h"
#include "support/database_backends.h"

#include <gtest/gtest.h>

using namespace tarnlow;
using test::Backend;

namespace {

class MenuListTest : public test::ConnectedBackendTest {};

} // namespace

// The 24 default rows come back parents first: the top-level items in item_order, then each
// group below items 1, 2, 3 and 13 in item_order; rows sharing a position both appear.
TEST_P(MenuListTest, DefaultRowsAreSortedByParentThenOrder) {
    SettingsStore settings = SettingsStore::standard();
    const SystemTablesOutcome created = ensureSystemTables(sqlca, settings, {});
    ASSERT_EQ(created.state, SystemTablesState::Initialised) << created.reason.number;

    DataStore menu(d_menu());
    menu.setTransaction(&sqlca);
    const Result<int> retrieved = menu.retrieve();
    ASSERT_TRUE(retrieved.ok()) << retrieved.error().toStdString();
    ASSERT_EQ(*retrieved, 24);
    QList<qint64> parents;
    QList<qint64> indexes;
    for (int row = 1; row <= menu.rowCount(); ++row) {
        parents.append(menu.getItemNumber(row, QStringLiteral("parent_index")).value_or(-1));
        indexes.append(menu.getItemNumber(row, QStringLiteral("item_index")).value_or(-1));
    }
    EXPECT_EQ(parents,
              (QList<qint64>{0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 3, 13, 13, 13, 13, 13, 13, 13}));
    // Items 15 and 18 share 5.00 below item 1, items 19 and 24 share 7.00 below item 13: either
    // order of each pair is right.
    QList<qint64> normalised = indexes;
    auto swapPair = [&normalised](qsizetype at, qint64 first) {
        if (normalised.at(at) != first)
            normalised.swapItemsAt(at, at + 1);
    };
    swapPair(8, 15);
    swapPair(20, 19);
    EXPECT_EQ(normalised, (QList<qint64>{1,  2,  13, 3,  4, 5,  8,  9,  15, 18, 6,  11,
                                         10, 12, 20, 21, 7, 14, 17, 16, 19, 24, 25, 27}));
    EXPECT_EQ(menu.getItemString(1, QStringLiteral("lang_id")).value_or(QString()).trimmed(),
              QStringLiteral("TREE_ID1"));
    EXPECT_EQ(menu.columnNumber(QStringLiteral("open_parm")), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, MenuListTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         test::backendTestName);
