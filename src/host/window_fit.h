#pragma once

#include <QSize>

class QWidget;

namespace tarnlow {

// Placing windows on small or scaled screens. The screen is the primary screen (the installed
// screen provider's, else the window system's); without one nothing changes.

// The size of a share of the available area (0.7 = 70 %), at least `minimum` but never more than
// the available area; `fallback` when there is no screen.
QSize screenShare(double widthShare, double heightShare, QSize minimum, QSize fallback);

// Shrinks a window that is wider or taller than the available area so that it fits (a window of
// fixed size keeps its size fixed at the new one). True when it changed the size.
bool fitToScreen(QWidget& window);

// Moves a window to the middle of its parent window (of the available area when it has none),
// kept inside the available area.
void centreOverParent(QWidget& window);

// The first time the window is shown it is fitted to the screen and centred over its parent.
void placeWhenFirstShown(QWidget& window);

} // namespace tarnlow
