#pragma once

#include "apps/AppEnvironment.hpp"
#include "system/FrontmostAppTracking.hpp"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orvik::helper {

class EwmhDesktop;

// Follows the active window (_NET_ACTIVE_WINDOW on the root window) on an X connection and thread of its own,
// and names the application it belongs to from the installed desktop entries. `onChange` is called on the
// tracker's thread after each change of the frontmost application, not for the first reading. When the X server
// goes away the snapshot empties and the tracker connects again once a server answers. While connected, the
// thread ("Orvik.Frontmost") sleeps until the X server sends an event or the tracker stops.
class X11FrontmostAppTracker final : public FrontmostAppTracking {
public:
    X11FrontmostAppTracker(std::function<void()> onChange, AppEnvironment environment = {});
    ~X11FrontmostAppTracker() override;
    X11FrontmostAppTracker(const X11FrontmostAppTracker&) = delete;
    X11FrontmostAppTracker& operator=(const X11FrontmostAppTracker&) = delete;

    FrontmostApp snapshot() const override;

private:
    void run();
    // Follows one connection until it breaks or the tracker stops.
    void follow(EwmhDesktop& desktop);
    void update(EwmhDesktop& desktop, bool notify);
    void store(FrontmostApp app, bool notify);
    // Waits for the connection's socket (or -1: only for the stop signal) at most `limit` (absent: for as long as
    // it takes); false once stopping.
    bool wait(int socket, std::optional<std::chrono::milliseconds> limit);

    const std::function<void()> onChange_;
    const AppEnvironment environment_;
    std::vector<DesktopEntry> entries_;
    std::chrono::steady_clock::time_point lastScan_{};
    mutable std::mutex mutex_;
    FrontmostApp current_;
    int stopSignal_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace orvik::helper
