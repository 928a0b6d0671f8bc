#pragma once

#include "platform/DisplayIdentifiers.hpp"
#include "platform/X11Display.hpp"

#include <vector>

namespace orvik::helper {

// The monitors of an X screen from XRandR, in the helper's display order with their identifiers.
class X11Monitors {
public:
    // Without RandR 1.5 (or when it reports no monitor) the whole screen is one display named "screen".
    static std::vector<DisplayInfo> list(X11Display& display);
    static std::vector<MonitorLayout> layouts(X11Display& display);
};

} // namespace orvik::helper
