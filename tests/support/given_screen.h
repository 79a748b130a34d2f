#pragma once

#include "host/screen.h"

#include <optional>

namespace tarnlow::test {

// Gives the windows a primary screen of the test's choosing (size, dpi, available area) for as
// long as it lives.
class GivenScreen {
public:
    explicit GivenScreen(ScreenMetrics metrics)
        : m_previous(setScreenProvider([metrics] { return std::optional<ScreenMetrics>(metrics); })) {}
    ~GivenScreen() { setScreenProvider(m_previous); }
    GivenScreen(const GivenScreen&) = delete;
    GivenScreen& operator=(const GivenScreen&) = delete;

private:
    ScreenProvider m_previous;
};

} // namespace tarnlow::test
