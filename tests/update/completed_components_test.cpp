#include "host/settings_store.h"
#include "support/test_environment.h"
#include "update/completed_components.h"
#include "update/download_engine.h"

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

QList<VersionRow> rowsOfComponents(const QList<qint32>& components) {
    QList<VersionRow> rows;
    for (qint32 component : components)
        rows.append(VersionRow{QStringLiteral("01"), component, 1, QStringLiteral("f")});
    return rows;
}

// Components 5, 5, 6, 6, 7: a component counts once every one of its rows is written.
TEST(CompletedComponents, OnlyComponentsWhoseRowsAreAllWrittenCount) {
    const QList<VersionRow> rows = rowsOfComponents({5, 5, 6, 6, 7});
    EXPECT_EQ(highestCompleteComponent(rows, 0), std::nullopt);
    EXPECT_EQ(highestCompleteComponent(rows, 1), std::nullopt);
    EXPECT_EQ(highestCompleteComponent(rows, 2), 5);
    EXPECT_EQ(highestCompleteComponent(rows, 3), 5);
    EXPECT_EQ(highestCompleteComponent(rows, 4), 6);
    EXPECT_EQ(highestCompleteComponent(rows, 5), 7);
    EXPECT_EQ(highestCompleteComponent(rows, 99), 7);
    // In another order, a lower component still missing holds back every higher one.
    EXPECT_EQ(highestCompleteComponent(rowsOfComponents({6, 5, 5}), 1), std::nullopt);
    EXPECT_EQ(highestCompleteComponent(rowsOfComponents({6, 5, 7}), 2), 6);
}

TEST(CompletedComponents, RecordsOnlyWhatIsAboveTheInstalledComponent) {
    test::ScratchFolder scratch;
    SettingsStore settings = SettingsStore::standard();
    const QList<VersionRow> rows = rowsOfComponents({5, 5, 6});
    EXPECT_EQ(recordCompletedComponents(settings, rows, 1, 4), 4);
    EXPECT_FALSE(settings.read(kSettingsKey, kInstalledComponentName));
    EXPECT_EQ(recordCompletedComponents(settings, rows, 2, 4), 5);
    EXPECT_EQ(settings.read(kSettingsKey, kInstalledComponentName), QStringLiteral("5"));
    EXPECT_EQ(recordCompletedComponents(settings, rows, 2, 9), 9);
    EXPECT_EQ(settings.read(kSettingsKey, kInstalledComponentName), QStringLiteral("5"));
}

} // namespace
