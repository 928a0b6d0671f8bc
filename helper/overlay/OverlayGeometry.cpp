#include "overlay/OverlayGeometry.hpp"

#include <algorithm>

namespace orvik::helper {

std::optional<OverlayRect> screenUnder(OverlayPoint pointer, const std::vector<OverlayRect>& screensPrimaryFirst) {
    auto found = std::find_if(screensPrimaryFirst.begin(), screensPrimaryFirst.end(),
                              [&](const OverlayRect& screen) { return screen.contains(pointer); });
    if (found != screensPrimaryFirst.end()) return *found;
    if (screensPrimaryFirst.empty()) return std::nullopt;
    return screensPrimaryFirst.front();
}

} // namespace orvik::helper
