#pragma once

#include <cstdint>

class QWidget;

namespace tarnlow {

// Moves a window to the middle of the primary screen. The screen and window sizes are compared in
// layout units and half the difference, truncated toward zero, becomes the window's position, so
// a window larger than the screen moves partly off its left or top edge. Only the position
// changes, never the size; redrawing is off during the move. The screen comes from the installed
// screen provider, else from the window system.
// Returns 1 when the window was moved, 0 when there is no window or no screen.
std::int16_t f_center(QWidget* aw_window);

} // namespace tarnlow
