#include "host/primary_screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace tarnlow {

std::optional<ScreenMetrics> primaryScreenMetrics() {
    if (std::optional<ScreenMetrics> provided = providedScreenMetrics())
        return provided;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    const QRect geometry = screen->geometry();
    return ScreenMetrics{geometry.left(),
                         geometry.top(),
                         geometry.width(),
                         geometry.height(),
                         screen->logicalDotsPerInchX(),
                         screen->logicalDotsPerInchY(),
                         screen->availableGeometry()};
}

} // namespace tarnlow
