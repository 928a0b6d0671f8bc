#pragma once

#include "clipboard/ClipboardLimits.hpp"
#include "clipboard/ClipboardSelection.hpp"

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace orvik::helper {

class X11Clipboard;

// The thread that owns the clipboard's X connection. A selection owner must answer other clients' requests
// at any moment, also while the GUI is busy, and the server thread must never wait for the GUI: so the
// clipboard has its own connection and its own thread, and other threads hand it work through a queue.
class ClipboardThread {
public:
    using Task = std::function<void(X11Clipboard&)>;

    ClipboardThread(std::string displayName, ClipboardLimits limits);
    ~ClipboardThread();
    ClipboardThread(const ClipboardThread&) = delete;
    ClipboardThread& operator=(const ClipboardThread&) = delete;

    // Runs `task` on the clipboard thread, in the order posted. Dropped when the X display cannot be reached.
    void post(Task task);

    // Runs `work` there and waits at most `wait` for its result; absent when it did not come in time or the
    // clipboard is unavailable.
    template <class Result>
    std::optional<Result> call(std::function<Result(X11Clipboard&)> work, std::chrono::milliseconds wait) {
        auto task = std::make_shared<std::packaged_task<Result(X11Clipboard&)>>(std::move(work));
        auto result = task->get_future();
        // The queue holds the only reference, so a task dropped unrun breaks the promise at once.
        post([task = std::move(task)](X11Clipboard& clipboard) { (*task)(clipboard); });
        if (result.wait_for(wait) != std::future_status::ready) return std::nullopt;
        try {
            return result.get();
        } catch (const std::future_error&) {
            return std::nullopt; // dropped unrun
        }
    }

    const ClipboardLimits& limits() const { return limits_; }
    // A selection's change count as of the clipboard thread's last task, readable from any thread.
    std::int64_t lastChangeCount(ClipboardSelection which) const { return lastChangeCounts_[indexOf(which)].load(); }

private:
    using Clock = std::chrono::steady_clock;

    void run(const std::string& displayName);
    std::unique_ptr<X11Clipboard> connect(const std::string& displayName);
    void serveOnce(X11Clipboard& clipboard);
    void runQueuedTasks(X11Clipboard& clipboard);
    void dropQueuedTasks();
    void noteChangeCounts(const X11Clipboard& clipboard);
    void waitForWork(int fd, int timeoutMilliseconds);
    bool isStopping();
    void wake();

    // A display that could not be reached is tried again at most this often, when work arrives.
    static constexpr std::chrono::seconds reconnectInterval{2};

    const ClipboardLimits limits_;
    int wakeFd_ = -1;
    std::mutex mutex_;
    std::deque<Task> tasks_;
    bool stopping_ = false;
    bool connectedBefore_ = false;
    bool reportedUnreachable_ = false;
    std::array<std::atomic<std::int64_t>, clipboardSelectionCount> lastChangeCounts_{};
    std::thread thread_;
};

} // namespace orvik::helper
