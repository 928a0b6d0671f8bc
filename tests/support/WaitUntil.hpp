#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace orvik::test {

// Polls `condition` until it holds or `limit` has passed; true when it held. Between polls it runs `between`
// (a GUI test processes its events there) or sleeps briefly. Limits are generous: the machines are shared.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(10000),
                      const std::function<void()>& between = {}) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (between) {
            between();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}

} // namespace orvik::test
