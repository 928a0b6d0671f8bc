#include "clipboard/x11/ClipboardThread.hpp"

#include "clipboard/x11/X11Clipboard.hpp"
#include "core/Log.hpp"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace orvik::helper {

namespace {

constexpr const char* logCategory = "Clipboard";

int millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::int64_t>(wait.count(), 0));
}

} // namespace

ClipboardThread::ClipboardThread(std::string displayName, ClipboardLimits limits)
    : limits_(limits), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    thread_ = std::thread([this, name = std::move(displayName)] { run(name); });
}

ClipboardThread::~ClipboardThread() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    thread_.join();
    if (wakeFd_ >= 0) close(wakeFd_);
}

void ClipboardThread::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        tasks_.push_back(std::move(task));
    }
    wake();
}

void ClipboardThread::wake() {
    if (wakeFd_ < 0) return;
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(wakeFd_, &one, sizeof one);
}

bool ClipboardThread::isStopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
}

void ClipboardThread::run(const std::string& displayName) {
    pthread_setname_np(pthread_self(), "Orvik.Clipboard");
    if (wakeFd_ < 0) {
        Log::error(logCategory, "Clipboard unavailable: no wake-up descriptor");
        return;
    }
    std::unique_ptr<X11Clipboard> clipboard;
    auto nextAttempt = Clock::now();
    while (!isStopping()) {
        if (!clipboard && Clock::now() >= nextAttempt) {
            clipboard = connect(displayName);
            if (!clipboard) nextAttempt = Clock::now() + reconnectInterval;
        }
        if (!clipboard) {
            // Callers get no result at once rather than wait for a display that is not there.
            dropQueuedTasks();
            waitForWork(-1, -1);
            continue;
        }
        serveOnce(*clipboard);
        if (clipboard->isLost()) {
            Log::error(logCategory, "Clipboard unavailable: the X connection was lost");
            clipboard.reset();
            nextAttempt = Clock::now() + reconnectInterval;
        }
    }
    dropQueuedTasks();
}

std::unique_ptr<X11Clipboard> ClipboardThread::connect(const std::string& displayName) {
    // A new connection no longer owns what the old one did: that is one more change.
    X11Clipboard::ChangeCounts start{};
    for (std::size_t index = 0; index < start.size(); ++index)
        start[index] = lastChangeCounts_[index].load() + (connectedBefore_ ? 1 : 0);
    auto clipboard = X11Clipboard::open(displayName, limits_, start);
    if (!clipboard) {
        if (!reportedUnreachable_) Log::error(logCategory, "Clipboard unavailable: cannot open the X display");
        reportedUnreachable_ = true;
        return nullptr;
    }
    reportedUnreachable_ = false;
    connectedBefore_ = true;
    noteChangeCounts(*clipboard);
    return clipboard;
}

void ClipboardThread::serveOnce(X11Clipboard& clipboard) {
    runQueuedTasks(clipboard);
    clipboard.dispatchPending();
    noteChangeCounts(clipboard);
    if (clipboard.isLost()) return;
    int timeout = -1;
    if (auto deadline = clipboard.nextDeadline()) timeout = millisecondsUntil(*deadline);
    waitForWork(clipboard.connectionNumber(), timeout);
    clipboard.expireTransfers(X11Clipboard::Clock::now());
}

void ClipboardThread::waitForWork(int fd, int timeoutMilliseconds) {
    std::array<pollfd, 2> sources{pollfd{wakeFd_, POLLIN, 0}, pollfd{fd, POLLIN, 0}};
    poll(sources.data(), fd >= 0 ? 2 : 1, timeoutMilliseconds);
    if (sources[0].revents & POLLIN) {
        std::uint64_t count = 0;
        [[maybe_unused]] auto got = read(wakeFd_, &count, sizeof count);
    }
}

void ClipboardThread::runQueuedTasks(X11Clipboard& clipboard) {
    while (!clipboard.isLost()) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (stopping_ || tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task(clipboard);
        noteChangeCounts(clipboard);
    }
}

void ClipboardThread::noteChangeCounts(const X11Clipboard& clipboard) {
    for (auto which : {ClipboardSelection::clipboard, ClipboardSelection::primary})
        lastChangeCounts_[indexOf(which)].store(clipboard.changeCount(which));
}

void ClipboardThread::dropQueuedTasks() {
    std::deque<Task> dropped;
    std::lock_guard lock(mutex_);
    dropped.swap(tasks_);
}

} // namespace orvik::helper
