#include "host/window_fit.h"

#include "host/primary_screen.h"

#include <QEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <optional>

namespace tarnlow {
namespace {

std::optional<QRect> availableArea() {
    const std::optional<ScreenMetrics> screen = primaryScreenMetrics();
    if (!screen)
        return std::nullopt;
    const QRect area = screen->availableArea();
    return area.isEmpty() ? std::nullopt : std::optional<QRect>(area);
}

// What the window system adds around the window: known once it is shown, none before.
QSize frameAllowance(const QWidget& window) {
    return window.frameGeometry().size() - window.size();
}

} // namespace

QSize screenShare(double widthShare, double heightShare, QSize minimum, QSize fallback) {
    const std::optional<QRect> area = availableArea();
    if (!area)
        return fallback;
    const int width = static_cast<int>(std::lround(area->width() * widthShare));
    const int height = static_cast<int>(std::lround(area->height() * heightShare));
    return QSize(std::min(std::max(width, minimum.width()), area->width()),
                 std::min(std::max(height, minimum.height()), area->height()));
}

bool fitToScreen(QWidget& window) {
    const std::optional<QRect> area = availableArea();
    if (!area)
        return false;
    const QSize room = area->size() - frameAllowance(window);
    const QSize size = window.size();
    if (size.width() <= room.width() && size.height() <= room.height())
        return false;
    const QSize fitted = size.boundedTo(room);
    if (window.minimumSize() == window.maximumSize())
        window.setFixedSize(fitted);
    else {
        window.setMinimumSize(window.minimumSize().boundedTo(fitted));
        window.resize(fitted);
    }
    return true;
}

void centreOverParent(QWidget& window) {
    const std::optional<QRect> area = availableArea();
    const QWidget* parent = window.parentWidget() != nullptr ? window.parentWidget()->window() : nullptr;
    QRect over;
    if (parent != nullptr && parent->isVisible())
        over = parent->frameGeometry();
    else if (area)
        over = *area;
    else
        return;
    const QSize outer = window.frameGeometry().size();
    QPoint topLeft =
        over.topLeft() + QPoint((over.width() - outer.width()) / 2, (over.height() - outer.height()) / 2);
    if (area) {
        topLeft.setX(
            std::clamp(topLeft.x(), area->left(), std::max(area->left(), area->right() + 1 - outer.width())));
        topLeft.setY(
            std::clamp(topLeft.y(), area->top(), std::max(area->top(), area->bottom() + 1 - outer.height())));
    }
    window.move(topLeft);
}

namespace {

// Watches a window for its first show, places it and goes.
class FirstShowPlacement : public QObject {
public:
    explicit FirstShowPlacement(QWidget& window)
        : QObject(&window) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched == parent()) {
            auto* window = static_cast<QWidget*>(watched);
            window->removeEventFilter(this);
            fitToScreen(*window);
            centreOverParent(*window);
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void placeWhenFirstShown(QWidget& window) {
    new FirstShowPlacement(window);
}

} // namespace tarnlow
