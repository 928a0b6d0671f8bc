#pragma once

#include <cstdint>
#include <functional>

namespace orvik::helper {

// Screen timing: nanoseconds of CLOCK_MONOTONIC (capture times, latency, keyframe spacing, rate steps).
using ScreenClock = std::function<std::uint64_t()>;

std::uint64_t uptimeNanoseconds();

} // namespace orvik::helper
