#include "injection/x11/X11WheelAccumulator.hpp"

#include <algorithm>

namespace orvik::helper {

X11WheelAccumulator::Clicks X11WheelAccumulator::add(std::int32_t dx, std::int32_t dy, ScrollPhase phase) {
    if (phase == ScrollPhase::began || phase == ScrollPhase::mayBegin) reset();
    return {clicks(remainderX_, dx), clicks(remainderY_, dy)};
}

void X11WheelAccumulator::reset() {
    remainderX_ = 0;
    remainderY_ = 0;
}

int X11WheelAccumulator::clicks(std::int64_t& remainder, std::int32_t delta) {
    if ((delta > 0 && remainder < 0) || (delta < 0 && remainder > 0)) remainder = 0;
    remainder += delta;
    std::int64_t whole = remainder / pixelsPerClick; // toward zero
    remainder -= whole * pixelsPerClick;
    return static_cast<int>(std::clamp<std::int64_t>(whole, -maxClicksPerEvent, maxClicksPerEvent));
}

} // namespace orvik::helper
