#pragma once

#include <asio.hpp>

#include <functional>
#include <mutex>
#include <optional>

namespace orvik::helper {

// Posts work onto an event loop until closed. For reports from threads that may outlive the loop (a service's
// own thread at exit): once closed, posting does nothing, so nothing reaches an event loop being destroyed.
// Thread-safe.
class ExecutorGate {
public:
    explicit ExecutorGate(asio::any_io_executor executor) : executor_(std::move(executor)) {}

    void post(std::function<void()> work) {
        std::lock_guard lock(mutex_);
        if (executor_) asio::post(*executor_, std::move(work));
    }

    // Call before the loop's thread ends.
    void close() {
        std::lock_guard lock(mutex_);
        executor_.reset();
    }

private:
    std::mutex mutex_;
    std::optional<asio::any_io_executor> executor_;
};

} // namespace orvik::helper
