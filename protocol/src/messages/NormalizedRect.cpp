#include "orvik/protocol/messages/NormalizedRect.hpp"

#include <algorithm>
#include <cmath>

namespace orvik {

NormalizedRect NormalizedRect::clamped() const {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(width) || !std::isfinite(height)) return full();
    NormalizedRect result;
    result.width = std::clamp(width, minimumExtent, 1.0);
    result.height = std::clamp(height, minimumExtent, 1.0);
    result.x = std::clamp(x, 0.0, 1.0 - result.width);
    result.y = std::clamp(y, 0.0, 1.0 - result.height);
    return result;
}

} // namespace orvik
