#include "host/f_center.h"

#include "host/layout_units.h"
#include "host/primary_screen.h"

#include <QWidget>

#include <optional>

namespace tarnlow {

std::int16_t f_center(QWidget* aw_window) {
    if (!aw_window)
        return 0;
    aw_window->setUpdatesEnabled(false);

    int li_returncode = 0;
    if (const std::optional<ScreenMetrics> screen = primaryScreenMetrics()) {
        // The frame counts, as it does for the position that move() sets.
        const QSize size = aw_window->frameGeometry().size();
        const std::int16_t x = centredCoordinate(pixelsToUnitsX(screen->width, screen->logicalDpiX),
                                                 pixelsToUnitsX(size.width(), screen->logicalDpiX));
        const std::int16_t y = centredCoordinate(pixelsToUnitsY(screen->height, screen->logicalDpiY),
                                                 pixelsToUnitsY(size.height(), screen->logicalDpiY));
        aw_window->move(screen->left + unitsToPixelsX(x, screen->logicalDpiX),
                        screen->top + unitsToPixelsY(y, screen->logicalDpiY));
        li_returncode = 1;
    }

    aw_window->setUpdatesEnabled(true);
    return li_returncode == 1 ? 1 : 0;
}

} // namespace tarnlow
