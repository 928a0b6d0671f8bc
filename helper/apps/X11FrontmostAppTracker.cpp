#include "apps/X11FrontmostAppTracker.hpp"

#include "apps/AppWindowMatcher.hpp"
#include "apps/EwmhDesktop.hpp"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace orvik::helper {
namespace {

// A window of an application without a listed entry rescans the folders at most this often.
constexpr auto rescanInterval = std::chrono::seconds(30);
// How often to try again while no X server answers. While one does, the thread sleeps until an event comes.
constexpr auto reconnectInterval = std::chrono::milliseconds(1000);
constexpr const char* threadName = "Orvik.Frontmost";

} // namespace

X11FrontmostAppTracker::X11FrontmostAppTracker(std::function<void()> onChange, AppEnvironment environment)
    : onChange_(std::move(onChange)), environment_(std::move(environment)),
      stopSignal_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    thread_ = std::thread([this] { run(); });
}

X11FrontmostAppTracker::~X11FrontmostAppTracker() {
    stopping_ = true;
    const std::uint64_t one = 1;
    if (stopSignal_ >= 0) (void)!::write(stopSignal_, &one, sizeof one);
    if (thread_.joinable()) thread_.join();
    if (stopSignal_ >= 0) ::close(stopSignal_);
}

FrontmostApp X11FrontmostAppTracker::snapshot() const {
    std::lock_guard lock(mutex_);
    return current_;
}

void X11FrontmostAppTracker::run() {
    pthread_setname_np(pthread_self(), threadName);
    // The first reading is not a change.
    bool notify = false;
    while (!stopping_) {
        if (auto desktop = EwmhDesktop::open(environment_.displayName)) {
            update(*desktop, notify);
            notify = true;
            follow(*desktop);
        }
        if (!wait(-1, reconnectInterval)) return;
    }
}

void X11FrontmostAppTracker::follow(EwmhDesktop& desktop) {
    Display* x = desktop.display().get();
    const Atom active = desktop.display().atom("_NET_ACTIVE_WINDOW");
    XSelectInput(x, desktop.display().root(), PropertyChangeMask);
    XFlush(x);
    // A change between opening and selecting would be missed: read once more.
    update(desktop, true);
    while (!desktop.isBroken()) {
        while (!desktop.isBroken() && XPending(x) > 0) {
            XEvent event{};
            XNextEvent(x, &event);
            if (event.type == PropertyNotify && event.xproperty.atom == active) update(desktop, true);
        }
        if (desktop.isBroken() || !wait(ConnectionNumber(x), std::nullopt)) break;
    }
    if (desktop.isBroken()) store({}, true);
}

void X11FrontmostAppTracker::update(EwmhDesktop& desktop, bool notify) {
    const auto window = desktop.activeWindow();
    if (!window) return store({}, notify);
    const auto identity = desktop.identity(*window);
    auto index = AppWindowMatcher::match(identity, entries_);
    const auto now = std::chrono::steady_clock::now();
    if (!index && (entries_.empty() || now - lastScan_ >= rescanInterval)) {
        entries_ = DesktopEntryScanner::scan(environment_.folders, environment_.context);
        lastScan_ = now;
        index = AppWindowMatcher::match(identity, entries_);
    }
    if (index) return store({entries_[*index].name, entries_[*index].id}, notify);
    // An application without a listed entry is still named, by its window class.
    FrontmostApp unlisted;
    if (!identity.className.empty()) unlisted.name = identity.className;
    store(std::move(unlisted), notify);
}

void X11FrontmostAppTracker::store(FrontmostApp app, bool notify) {
    {
        std::lock_guard lock(mutex_);
        if (current_ == app) return;
        current_ = std::move(app);
    }
    if (notify && onChange_) onChange_();
}

bool X11FrontmostAppTracker::wait(int socket, std::optional<std::chrono::milliseconds> limit) {
    pollfd waits[2] = {{stopSignal_, POLLIN, 0}, {socket, POLLIN, 0}};
    ::poll(waits, socket >= 0 ? 2 : 1, limit ? static_cast<int>(limit->count()) : -1);
    return !stopping_;
}

} // namespace orvik::helper
