#include "core/BootTimer.hpp"

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace orvik::helper {

BootTimer::BootTimer(const asio::any_io_executor& executor, std::chrono::nanoseconds delay)
    : timer_(executor), fallback_(executor, delay) {
    const int descriptor = ::timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (descriptor < 0) return;
    // An all-zero time would disarm the timer instead of firing it at once.
    const auto nanoseconds = std::max<std::int64_t>(delay.count(), 1);
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
    when.it_value.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
    if (::timerfd_settime(descriptor, 0, &when, nullptr) != 0) {
        ::close(descriptor);
        return;
    }
    timer_.assign(descriptor);
}

asio::awaitable<void> BootTimer::wait() {
    std::error_code endedEarly;
    if (timer_.is_open()) {
        co_await timer_.async_wait(asio::posix::stream_descriptor::wait_read,
                                   asio::redirect_error(asio::use_awaitable, endedEarly));
    } else {
        co_await fallback_.async_wait(asio::redirect_error(asio::use_awaitable, endedEarly));
    }
}

void BootTimer::cancel() {
    timer_.cancel();
    fallback_.cancel();
}

} // namespace orvik::helper
