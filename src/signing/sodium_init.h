#pragma once

#include "host/result.h"

namespace tarnlow {

// Initialises libsodium once per process; the reason when it cannot be (no source of random bytes).
Result<void> ensureSodium();

} // namespace tarnlow
