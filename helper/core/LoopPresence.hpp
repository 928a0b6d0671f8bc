#pragma once

#include <asio.hpp>

#include <functional>
#include <memory>
#include <mutex>

namespace orvik::helper {

// Whether an event loop (an asio execution context) still exists, for answers that come from other threads and
// may come after it was destroyed (a service answering late while the program quits). Work posted through it
// reaches the loop while the loop exists; afterwards it is kept unrun: running it would touch freed memory, and
// destroying it could release a service on that service's own thread. Thread-safe.
class LoopPresence {
public:
    // The presence of the context `executor` runs on; call while that context exists (from its own thread, say).
    static std::shared_ptr<LoopPresence> of(const asio::any_io_executor& executor);

    void post(const asio::any_io_executor& executor, std::function<void()> work);

private:
    friend class LoopPresenceService;

    std::mutex mutex_;
    bool present_ = true;
};

} // namespace orvik::helper
