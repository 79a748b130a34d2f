#include "host/f_center.h"

#include "host/layout_units.h"
#include "host/screen.h"

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

// Gives f_center a screen of our choosing for as long as it lives.
class GivenScreen {
public:
    explicit GivenScreen(ScreenMetrics metrics)
        : m_previous(setScreenProvider([metrics] { return std::optional<ScreenMetrics>(metrics); })) {}
    ~GivenScreen() { setScreenProvider(m_previous); }

private:
    ScreenProvider m_previous;
};

QPoint centred(int windowWidth, int windowHeight) {
    QWidget window;
    window.resize(windowWidth, windowHeight);
    EXPECT_EQ(f_center(&window), 1);
    EXPECT_EQ(window.size(), QSize(windowWidth, windowHeight));
    return window.pos();
}

} // namespace

TEST(Centre, HalfTheDifferenceInUnitsTruncatedTowardZero) {
    GivenScreen screen({0, 0, 1000, 800, kOneUnitPerPixelX, kOneUnitPerPixelY});
    EXPECT_EQ(centred(1000, 800), QPoint(0, 0));     // as large as the screen
    EXPECT_EQ(centred(999, 799), QPoint(0, 0));      // 1 unit smaller: 0.5 truncates to 0
    EXPECT_EQ(centred(997, 797), QPoint(1, 1));      // 3 units smaller
    EXPECT_EQ(centred(1101, 901), QPoint(-50, -50)); // larger: -101 gives -50, partly off screen
    EXPECT_EQ(centred(200, 100), QPoint(400, 350));
}

TEST(Centre, ConvertsThroughLayoutUnitsOnAnOrdinaryScreen) {
    {
        GivenScreen screen({0, 0, 1024, 768, 96.0, 96.0});
        EXPECT_EQ(centred(400, 300), QPoint(312, 234));
        EXPECT_EQ(centred(1024, 768), QPoint(0, 0));
    }
    {
        // A screen to the right of another: the position is on that screen.
        GivenScreen screen({1920, 0, 1280, 1024, 120.0, 120.0});
        const QPoint position = centred(640, 480);
        EXPECT_NEAR(position.x(), 1920 + 320, 1);
        EXPECT_NEAR(position.y(), 272, 1);
    }
}

TEST(Centre, OnlyThePositionOfAShownWindowChangesAndRedrawingIsOffMeanwhile) {
    GivenScreen screen({0, 0, 1000, 800, kOneUnitPerPixelX, kOneUnitPerPixelY});
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
