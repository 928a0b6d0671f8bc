#pragma once

#include "apps/WindowIdentity.hpp"
#include "platform/X11Display.hpp"

#include <X11/Xlib.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// The windows a window manager lists through EWMH, on one X connection of the owner's own, used from one thread.
// Requests are sent to the window manager as client messages; it decides what happens.
class EwmhDesktop {
public:
    // Absent when no X server answers.
    static std::unique_ptr<EwmhDesktop> open(const std::string& displayName = {});
    ~EwmhDesktop();
    EwmhDesktop(const EwmhDesktop&) = delete;
    EwmhDesktop& operator=(const EwmhDesktop&) = delete;

    X11Display& display() { return *display_; }
    bool isBroken() const { return display_->isBroken(); }

    // _NET_CLIENT_LIST in the window manager's order (oldest first).
    std::vector<Window> clientWindows();
    // _NET_ACTIVE_WINDOW; absent when no window is active.
    std::optional<Window> activeWindow();
    WindowIdentity identity(Window window);
    // The window's title (_NET_WM_NAME, else WM_NAME).
    std::string title(Window window);

    // Brings the window forward as a user's click on the task bar would: back from minimised, its desktop shown,
    // then activated (source: a pager, so focus-stealing prevention lets it through).
    void activate(Window window);
    // Asks the window manager to close the window as a user would (the application may ask to save first).
    void close(Window window);

    // The X server's current time, read from a property change on a window of ours.
    Time serverTime();

private:
    explicit EwmhDesktop(std::unique_ptr<X11Display> display);

    std::vector<unsigned long> cardinals(Window window, const char* property, Atom type);
    std::string textProperty(Window window, const char* property, Atom type);
    void sendToRoot(Window window, const char* message, const std::vector<long>& data);

    std::unique_ptr<X11Display> display_;
    // An unmapped window whose property changes tell the server's time.
    Window clock_ = None;
};

} // namespace orvik::helper
