#pragma once

#include <cstdint>

namespace tarnlow {

// Window positions and sizes are kept in layout units: on a 96-dpi screen a pixel is 32/7
// horizontal units and 4 vertical units. On screens with another logical dpi the units per pixel
// scale by 96/dpi, so a layout keeps its proportions to the text. Conversions round to the
// nearest whole unit or pixel; a dpi that is not positive counts as 96.
inline constexpr double kReferenceDpi = 96.0;

int pixelsToUnitsX(int pixels, double logicalDpi = kReferenceDpi);
int pixelsToUnitsY(int pixels, double logicalDpi = kReferenceDpi);
int unitsToPixelsX(int units, double logicalDpi = kReferenceDpi);
int unitsToPixelsY(int units, double logicalDpi = kReferenceDpi);

// The coordinate that centres a window extent within a screen extent, both in layout units: the
// difference times 0.5, truncated toward zero (101 gives 50, -101 gives -50). Coordinates are
// 16-bit; a result beyond that range is held at its limit instead of wrapping round.
std::int16_t centredCoordinate(int screenExtent, int windowExtent);

} // namespace tarnlow
