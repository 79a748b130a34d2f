#pragma once

#include "host/screen.h"

#include <optional>

namespace tarnlow {

// The metrics of the primary screen: the installed provider's answer when there is one, otherwise
// the window system's; no value when neither knows a screen.
std::optional<ScreenMetrics> primaryScreenMetrics();

} // namespace tarnlow
