#include "screen/x11/CapturePacer.hpp"

#include <algorithm>

namespace orvik::helper {

void CapturePacer::setFrameRate(int frameRate) {
    constexpr std::uint64_t second = 1'000'000'000;
    interval_ = second / static_cast<std::uint64_t>(std::max(frameRate, 1));
}

void CapturePacer::frameTaken(std::uint64_t now) {
    lastFrame_ = now;
    changed_ = false;
}

std::uint64_t CapturePacer::nextFrameAt() const {
    if (!lastFrame_) return 0;
    return *lastFrame_ + (changed_ ? interval_ : std::max(interval_, refreshInterval));
}

} // namespace orvik::helper
