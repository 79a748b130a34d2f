#include "signing/sodium_init.h"

#include <sodium.h>

namespace tarnlow {

Result<void> ensureSodium() {
    // sodium_init is safe to call again and from several threads; it returns 1 once done.
    static const int state = sodium_init();
    if (state < 0)
        return Error{QStringLiteral("the cryptography library cannot be initialised")};
    return {};
}

} // namespace tarnlow
