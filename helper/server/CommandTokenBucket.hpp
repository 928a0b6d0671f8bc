#pragma once

#include <algorithm>
#include <optional>

namespace orvik::helper {

// The command allowance of one session: a burst of 40 metered commands, then 20 per second on average. A plain
// value kept in the session record; times are seconds on the server clock.
struct CommandTokenBucket {
    static constexpr double burst = 40;
    static constexpr double rate = 20;

    double tokens = burst;
    // When a token was last asked for; absent until the first request, which therefore refills nothing (the
    // clock may well read 0).
    std::optional<double> updatedAt;

    // Refills for the time since the last request, then spends one token if there is one.
    bool take(double now) {
        if (updatedAt) tokens = std::min(burst, tokens + (now - *updatedAt) * rate);
        updatedAt = now;
        if (tokens < 1.0) return false;
        tokens -= 1.0;
        return true;
    }
};

} // namespace orvik::helper
