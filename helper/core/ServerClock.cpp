#include "core/ServerClock.hpp"

#include <time.h>

namespace orvik::helper {

double monotonicSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

ServerClock systemUptimeClock() {
    return &monotonicSeconds;
}

} // namespace orvik::helper
