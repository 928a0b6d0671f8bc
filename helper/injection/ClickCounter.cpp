#include "injection/ClickCounter.hpp"

#include <algorithm>
#include <cmath>

namespace orvik::helper {

int ClickCounter::registerClick(MouseButton button, DisplayPoint point, double time, double interval) {
    bool near = std::abs(point.x - lastPoint.x) <= nearDistance && std::abs(point.y - lastPoint.y) <= nearDistance;
    bool continues = lastButton == button && time - lastTime <= interval && near;
    currentCount = continues ? std::min(currentCount + 1, maxCount) : 1;
    lastButton = button;
    lastTime = time;
    lastPoint = point;
    return currentCount;
}

void ClickCounter::reset() {
    lastButton.reset();
    currentCount = 1;
}

} // namespace orvik::helper
