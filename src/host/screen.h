#pragma once

#include <QRect>

#include <functional>
#include <optional>

namespace tarnlow {

// What window placement needs to know of the primary screen: its place on the desktop and its
// size in pixels, its logical dpi for the conversion into layout units, and the part of it that
// windows may take (without panels and task bars).
struct ScreenMetrics {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    double logicalDpiX = 96.0;
    double logicalDpiY = 96.0;
    QRect available; // empty: the whole screen

    QRect availableArea() const { return available.isEmpty() ? QRect(left, top, width, height) : available; }
};

// The source of the screen metrics. The core knows no screens: unless a provider is installed,
// the windows library asks the window system itself. Tests install one to give any screen.
using ScreenProvider = std::function<std::optional<ScreenMetrics>()>;

// The installed provider's answer, or no value when none is installed or it knows no screen.
std::optional<ScreenMetrics> providedScreenMetrics();

// Installs a provider (an empty one removes it) and returns the previous one.
ScreenProvider setScreenProvider(ScreenProvider provider);

} // namespace tarnlow
