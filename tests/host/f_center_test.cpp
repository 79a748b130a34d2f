#include "host/f_center.h"

#include "host/layout_units.h"
#include "host/screen.h"
#include "host/window_fit.h"
#include "support/given_screen.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

using namespace tarnlow;

namespace {

// At these dpi values one layout unit is exactly one pixel, so positions read directly in units.
constexpr double kOneUnitPerPixelX = 96.0 * 32.0 / 7.0;
constexpr double kOneUnitPerPixelY = 96.0 * 4.0;

using test::GivenScreen;

QPoint centred(int windowWidth, int windowHeight) {
    QWidget window;
    window.resize(windowWidth, windowHeight);
    EXPECT_EQ(f_center(&window), 1);
    EXPECT_EQ(window.size(), QSize(windowWidth, windowHeight));
    return window.pos();
}

} // namespace

TEST(Centre, HalfTheDifferenceInUnitsTruncatedTowardZero) {
    GivenScreen screen({0, 0, 1000, 800, kOneUnitPerPixelX, kOneUnitPerPixelY, {}});
    EXPECT_EQ(centred(1000, 800), QPoint(0, 0));     // as large as the screen
    EXPECT_EQ(centred(999, 799), QPoint(0, 0));      // 1 unit smaller: 0.5 truncates to 0
    EXPECT_EQ(centred(997, 797), QPoint(1, 1));      // 3 units smaller
    EXPECT_EQ(centred(1101, 901), QPoint(-50, -50)); // larger: -101 gives -50, partly off screen
    EXPECT_EQ(centred(200, 100), QPoint(400, 350));
}

TEST(Centre, ConvertsThroughLayoutUnitsOnAnOrdinaryScreen) {
    {
        GivenScreen screen({0, 0, 1024, 768, 96.0, 96.0, {}});
        EXPECT_EQ(centred(400, 300), QPoint(312, 234));
        EXPECT_EQ(centred(1024, 768), QPoint(0, 0));
    }
    {
        // A screen to the right of another: the position is on that screen.
        GivenScreen screen({1920, 0, 1280, 1024, 120.0, 120.0, {}});
        const QPoint position = centred(640, 480);
        EXPECT_NEAR(position.x(), 1920 + 320, 1);
        EXPECT_NEAR(position.y(), 272, 1);
    }
}

TEST(Centre, OnlyThePositionOfAShownWindowChangesAndRedrawingIsOffMeanwhile) {
    GivenScreen screen({0, 0, 1000, 800, kOneUnitPerPixelX, kOneUnitPerPixelY, {}});
    QWidget window;
    window.setWindowFlag(Qt::FramelessWindowHint);
    window.setMinimumSize(120, 90);
    window.setGeometry(5, 7, 300, 200);
    window.show();
    const QSize before = window.size();

    struct MoveWatcher : QObject {
        int moves = 0;
        bool updatesOnDuringMove = false;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Move) {
                ++moves;
                updatesOnDuringMove |= static_cast<QWidget*>(watched)->updatesEnabled();
            }
            return false;
        }
    } watcher;
    window.installEventFilter(&watcher);

    EXPECT_EQ(f_center(&window), 1);
    EXPECT_EQ(window.pos(), QPoint(350, 300));
    EXPECT_EQ(window.size(), before);
    EXPECT_EQ(window.minimumSize(), QSize(120, 90));
    EXPECT_TRUE(window.updatesEnabled());
    EXPECT_GE(watcher.moves, 1);
    EXPECT_FALSE(watcher.updatesOnDuringMove);
    window.removeEventFilter(&watcher);
}

TEST(Centre, UsesTheWindowSystemScreenWhenNoneIsGiven) {
    const QScreen* primary = QGuiApplication::primaryScreen();
    ASSERT_NE(primary, nullptr);
    const QRect geometry = primary->geometry();
    QWidget window;
    window.resize(geometry.width() / 2, geometry.height() / 2);
    EXPECT_EQ(f_center(&window), 1);
    EXPECT_NEAR(window.x(), geometry.x() + geometry.width() / 4, 1);
    EXPECT_NEAR(window.y(), geometry.y() + geometry.height() / 4, 1);
}

TEST(Centre, NoWindowIsNotMoved) {
    EXPECT_EQ(f_center(nullptr), 0);
}

// A 1000 x 600 screen at 200 % is 500 x 300 to the windows; its panel leaves 500 x 276 of it.
constexpr ScreenMetrics kSmallScaledScreen{0, 0, 500, 300, 96.0, 96.0, QRect(0, 24, 500, 276)};

TEST(FitToScreen, AWindowLargerThanTheAvailableAreaIsShrunkToFitAndASmallerOneIsLeftAlone) {
    GivenScreen screen(kSmallScaledScreen);
    QWidget resizable;
    resizable.resize(800, 560);
    EXPECT_TRUE(fitToScreen(resizable));
    EXPECT_EQ(resizable.size(), QSize(500, 276));

    QWidget fixed;
    fixed.setFixedSize(300, 400);
    EXPECT_TRUE(fitToScreen(fixed));
    EXPECT_EQ(fixed.size(), QSize(300, 276));
    EXPECT_EQ(fixed.maximumSize(), QSize(300, 276));

    QWidget small;
    small.resize(200, 100);
    EXPECT_FALSE(fitToScreen(small));
    EXPECT_EQ(small.size(), QSize(200, 100));
}

TEST(FitToScreen, ShareOfTheScreenAndCentringOverTheParentStayOnTheAvailableArea) {
    GivenScreen screen(kSmallScaledScreen);
    EXPECT_EQ(screenShare(0.8, 0.5, QSize(100, 200), QSize(1, 1)), QSize(400, 200));
    EXPECT_EQ(screenShare(0.8, 0.5, QSize(900, 100), QSize(1, 1)), QSize(500, 138));

    QWidget parent;
    parent.setWindowFlag(Qt::FramelessWindowHint);
    parent.setGeometry(300, 100, 200, 100);
    parent.show();
    QWidget child(&parent, Qt::Window | Qt::FramelessWindowHint);
    child.resize(100, 50);
    centreOverParent(child);
    EXPECT_EQ(child.pos(), QPoint(350, 125));
    // Centred over a parent near the edge, it is pulled back onto the available area.
    child.resize(300, 200);
    centreOverParent(child);
    EXPECT_EQ(child.pos(), QPoint(200, 50));
    parent.setGeometry(0, 0, 40, 40);
    centreOverParent(child);
    EXPECT_EQ(child.pos(), QPoint(0, 24));
}
