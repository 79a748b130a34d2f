#include "host/layout_units.h"

#include <cmath>
#include <limits>

namespace tarnlow {
namespace {

constexpr double kHorizontalUnitsPerPixel = 32.0 / 7.0;
constexpr double kVerticalUnitsPerPixel = 4.0;

double unitsPerPixel(double atReferenceDpi, double logicalDpi) {
    if (!(logicalDpi > 0.0))
        logicalDpi = kReferenceDpi;
    return atReferenceDpi * kReferenceDpi / logicalDpi;
}

int roundToInt(double value) {
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    if (!(value > lowest))
        return std::numeric_limits<int>::min();
    if (!(value < highest))
        return std::numeric_limits<int>::max();
    return static_cast<int>(std::lround(value));
}

} // namespace

int pixelsToUnitsX(int pixels, double logicalDpi) {
    return roundToInt(pixels * unitsPerPixel(kHorizontalUnitsPerPixel, logicalDpi));
}

int pixelsToUnitsY(int pixels, double logicalDpi) {
    return roundToInt(pixels * unitsPerPixel(kVerticalUnitsPerPixel, logicalDpi));
}

int unitsToPixelsX(int units, double logicalDpi) {
    return roundToInt(units / unitsPerPixel(kHorizontalUnitsPerPixel, logicalDpi));
}

int unitsToPixelsY(int units, double logicalDpi) {
    return roundToInt(units / unitsPerPixel(kVerticalUnitsPerPixel, logicalDpi));
}

std::int16_t centredCoordinate(int screenExtent, int windowExtent) {
    // Formed in 64 bits so that no pair of int extents overflows; the halving truncates.
    const auto difference = static_cast<std::int64_t>(screenExtent) - windowExtent;
    const auto half = static_cast<std::int64_t>(static_cast<double>(difference) * 0.5);
    if (half < std::numeric_limits<std::int16_t>::min())
        return std::numeric_limits<std::int16_t>::min();
    if (half > std::numeric_limits<std::int16_t>::max())
        return std::numeric_limits<std::int16_t>::max();
    return static_cast<std::int16_t>(half);
}

} // namespace tarnlow
