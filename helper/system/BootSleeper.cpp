#include "system/BootSleeper.hpp"

#include "core/BootTimer.hpp"

#include <atomic>
#include <memory>
#include <optional>

namespace orvik::helper {

namespace {

// One wait, touched only on the executor's thread.
struct Wait {
    std::optional<BootTimer> timer;
    bool cancelled = false;
};

asio::awaitable<void> waitThenCall(std::shared_ptr<Wait> wait, std::function<void()> done) {
    auto waiting = wait->timer->wait();
    co_await std::move(waiting);
    done();
}

} // namespace

SleepTimer::Sleeper BootSleeper::make(asio::any_io_executor executor) {
    return [executor](std::chrono::nanoseconds delay, std::function<void()> done) -> SleepTimer::Cancel {
        auto wait = std::make_shared<Wait>();
        asio::post(executor, [executor, wait, delay, done = std::move(done)]() mutable {
            if (wait->cancelled) {
                done();
                return;
            }
            wait->timer.emplace(executor, delay);
            asio::co_spawn(executor, waitThenCall(wait, std::move(done)), asio::detached);
        });
        return [executor, wait] {
            asio::post(executor, [wait] {
                wait->cancelled = true;
                if (wait->timer) wait->timer->cancel();
            });
        };
    };
}

} // namespace orvik::helper
