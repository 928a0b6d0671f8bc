#pragma once

#include <asio.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace orvik::helper {

// Gives the memory that a flood of connections inside TLS leaves in the heap back to the system once the flood is
// over. Each of those connections holds its TLS state for up to the TLS limit, and the allocator keeps what they free
// for later use: after 256 of them the helper would stay tens of megabytes larger for good. The heap's free pages go
// back a short while after the pool drains, once per flood; a pool that never held a flood arms no timer.
//
// Threading: the executor's thread only (the server's).
class FloodMemoryRelease {
public:
    // A flood: this many connections entered the pool since memory was last given back. A phone adds one or two
    // each time it connects.
    static constexpr std::size_t floodSize = 64;
    // From the pool's first draining to the release: strangers that come and go at once drain the pool between
    // them, so a flood of them is given back once a while, not at every connection.
    static constexpr std::chrono::milliseconds settleTime{1000};

    // `release` gives the free memory back; by default the C library's heap.
    explicit FloodMemoryRelease(asio::any_io_executor executor, std::function<void()> release = releaseHeap);
    FloodMemoryRelease(const FloodMemoryRelease&) = delete;
    FloodMemoryRelease& operator=(const FloodMemoryRelease&) = delete;

    // A connection entered the pool.
    void entered() { ++state_->sinceRelease; }
    // No connection is inside TLS now.
    void drained();

    // Returns the free pages of every heap arena to the system.
    static void releaseHeap();

private:
    // Shared with a release under way, which may come after the owner is gone (and then does nothing).
    struct State {
        std::function<void()> release;
        std::size_t sinceRelease = 0;
        bool armed = false;
    };

    asio::any_io_executor executor_;
    std::shared_ptr<State> state_;
};

} // namespace orvik::helper
