#pragma once

#include <atomic>
#include <functional>

namespace orvik::helper {

// The server's clock: seconds as a double from an arbitrary origin, never going backwards. Session times, the
// handshake rate limiter and the input controller read it; tests inject their own.
using ServerClock = std::function<double()>;

// Seconds of CLOCK_MONOTONIC (time since boot, without suspend).
double monotonicSeconds();

// The production clock, reading monotonicSeconds().
ServerClock systemUptimeClock();

// A clock that moves only when told to, for tests. Its function() may be copied into the code under test and
// stays valid as long as this object lives.
class ManualClock {
public:
    explicit ManualClock(double start = 0) : now_(start) {}

    double now() const { return now_.load(); }
    void set(double seconds) { now_.store(seconds); }
    void advance(double seconds) { now_.store(now_.load() + seconds); }

    ServerClock function() const {
        return [this] { return now(); };
    }

private:
    std::atomic<double> now_;
};

} // namespace orvik::helper
