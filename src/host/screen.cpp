#include "host/screen.h"

#include <utility>

namespace tarnlow {
namespace {

ScreenProvider& installedProvider() {
    static ScreenProvider provider;
    return provider;
}

} // namespace

std::optional<ScreenMetrics> providedScreenMetrics() {
    const ScreenProvider& provider = installedProvider();
    if (!provider)
        return std::nullopt;
    return provider();
}

ScreenProvider setScreenProvider(ScreenProvider provider) {
    return std::exchange(installedProvider(), std::move(provider));
}

} // namespace tarnlow
