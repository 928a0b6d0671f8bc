#include "screen/ScreenClock.hpp"

#include <time.h>

namespace orvik::helper {

std::uint64_t uptimeNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(now.tv_nsec);
}

} // namespace orvik::helper
