#pragma once

// Types that the source files of HelperServer share; not in its public interface.

#include "server/HelperServer.hpp"

#include <asio.hpp>

#include <memory>

namespace orvik::helper {

// The maintenance loop's handle: cancelling it ends the loop at its next wake-up (or at once while it sleeps).
struct HelperServer::MaintenanceTask {
    explicit MaintenanceTask(const asio::any_io_executor& executor) : timer(executor) {}

    void cancel() {
        cancelled = true;
        timer.cancel();
    }

    asio::steady_timer timer;
    bool cancelled = false;
};

// The thread on which the pasteboard is called. The production pasteboard serves the X selection from a thread
// and connection of its own and may block briefly while it talks to the X server or another client; the server
// thread must never wait for that, so every call goes here and the server awaits the answer with a time limit.
struct HelperServer::PasteboardWorker {
    static constexpr const char* threadName = "Orvik.Paste";

    PasteboardWorker();
    ~PasteboardWorker();

    asio::thread_pool pool{1};
};

// The wait between Command-V and putting the user's contents back. It counts on CLOCK_BOOTTIME, which goes on
// while the machine sleeps: a paste interrupted by suspend restores at once on wake instead of leaving the
// phone's text on the clipboard for another 400 ms of awake time. Cancelling ends the wait early.
class HelperServer::PasteWait {
public:
    PasteWait(const asio::any_io_executor& executor, std::chrono::nanoseconds delay);

    asio::awaitable<void> wait();
    void cancel();

private:
    asio::posix::stream_descriptor timer_;
    // Where no boot-time timer can be made, the monotonic clock stands in.
    asio::steady_timer fallback_;
};

} // namespace orvik::helper
