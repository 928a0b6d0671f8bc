#include "server/FloodMemoryRelease.hpp"

#include <malloc.h>

namespace orvik::helper {

FloodMemoryRelease::FloodMemoryRelease(asio::any_io_executor executor, std::function<void()> release)
    : executor_(std::move(executor)), state_(std::make_shared<State>(State{std::move(release)})) {}

void FloodMemoryRelease::drained() {
    if (state_->armed || state_->sinceRelease < floodSize) return;
    state_->armed = true;
    // The timer lives in its handler: the owner may be destroyed on another thread, after its executor's loop.
    auto timer = std::make_shared<asio::steady_timer>(executor_, settleTime);
    timer->async_wait([timer, weakState = std::weak_ptr<State>(state_)](std::error_code error) {
        auto state = weakState.lock();
        if (error || !state) return;
        state->armed = false;
        state->sinceRelease = 0;
        state->release();
    });
}

void FloodMemoryRelease::releaseHeap() {
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

} // namespace orvik::helper
