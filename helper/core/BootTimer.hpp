#pragma once

#include <asio.hpp>

#include <chrono>

namespace orvik::helper {

// A one-shot wait that counts on CLOCK_BOOTTIME, which goes on while the machine sleeps: a deadline that passes
// during suspend fires at once on wake instead of after as much awake time again. Cancelling ends the wait early.
// Use it on one executor only.
class BootTimer {
public:
    BootTimer(const asio::any_io_executor& executor, std::chrono::nanoseconds delay);

    // Completes when the delay has passed or the timer was cancelled.
    asio::awaitable<void> wait();
    void cancel();

private:
    asio::posix::stream_descriptor timer_;
    // Where no boot-time timer can be made, the monotonic clock stands in.
    asio::steady_timer fallback_;
};

} // namespace orvik::helper
