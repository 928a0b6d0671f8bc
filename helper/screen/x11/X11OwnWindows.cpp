#include "screen/x11/X11OwnWindows.hpp"

#include "screen/CaptureExclusions.hpp"

#include <X11/Xatom.h>
#include <unistd.h>

#include <algorithm>

namespace orvik::helper {
namespace {

std::vector<Window> childrenOf(Display* display, Window window) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    std::vector<Window> result;
    if (XQueryTree(display, window, &root, &parent, &children, &count) && children) {
        result.assign(children, children + count);
    }
    if (children) XFree(children);
    return result;
}

} // namespace

X11OwnWindows::X11OwnWindows(X11Display& display) : display_(display), pid_(getpid()) {
    // Also the root's own changes, for the capturer: its size, and RandR monitors set by clients, which are
    // announced only as the root's ConfigureNotify.
    XSelectInput(display_.get(), display_.root(), SubstructureNotifyMask | StructureNotifyMask);
}

void X11OwnWindows::handle(const XEvent& event) {
    // Only the server's own reports of the root's children: a client may send anything (XSendEvent).
    if (event.xany.send_event) return;
    const Window root = display_.root();
    switch (event.type) {
    case CreateNotify:
        // An unmapped window shows nothing; a reused id is looked at afresh once the window is shown.
        known_.erase(event.xcreatewindow.window);
        break;
    case MapNotify:
        // A window is looked at afresh when it appears: its _NET_WM_PID and clients are set by then.
        known_.erase(event.xmap.window);
        stale_ = true;
        break;
    case ReparentNotify:
        known_.erase(event.xreparent.window);
        known_.erase(event.xreparent.parent);
        stale_ = true;
        break;
    case PropertyNotify:
        // The marker may be on a client inside a frame: look at every window afresh.
        if (event.xproperty.atom != display_.atom(CaptureExclusions::windowProperty)) return;
        known_.clear();
        stale_ = true;
        break;
    case ConfigureNotify: {
        const auto& configure = event.xconfigure;
        if (configure.event != root || configure.window == root) return;
        const int border = configure.border_width;
        moved(configure.window,
              {configure.x, configure.y, configure.width + 2 * border, configure.height + 2 * border});
        break;
    }
    case GravityNotify: {
        const auto& gravity = event.xgravity;
        if (gravity.event != root) return;
        if (auto shown = shown_.find(gravity.window); shown != shown_.end()) {
            moved(gravity.window, {gravity.x, gravity.y, shown->second.width, shown->second.height});
        }
        break;
    }
    case UnmapNotify:
        if (event.xunmap.event == root) hidden(event.xunmap.window);
        break;
    case DestroyNotify:
        if (event.xdestroywindow.event != root) return;
        hidden(event.xdestroywindow.window);
        known_.erase(event.xdestroywindow.window);
        break;
    default: break;
    }
}

void X11OwnWindows::moved(Window window, const PixelRect& place) {
    auto shown = shown_.find(window);
    if (shown == shown_.end()) return;
    shown->second = place;
    trails_.try_emplace(window, place).first->second.add(place);
}

void X11OwnWindows::hidden(Window window) {
    shown_.erase(window);
}

std::vector<PixelRect> X11OwnWindows::places() const {
    std::vector<PixelRect> result;
    for (const auto& [window, trail] : trails_)
        result.insert(result.end(), trail.places().begin(), trail.places().end());
    return result;
}

void X11OwnWindows::pictureTaken() {
    trails_.clear();
    for (const auto& [window, place] : shown_) trails_.try_emplace(window, place);
}

void X11OwnWindows::refresh() {
    stale_ = false;
    shown_.clear();
    Display* display = display_.get();
    std::unordered_map<Window, TopLevel> current;
    for (Window top : childrenOf(display, display_.root())) {
        auto found = known_.find(top);
        TopLevel entry = found != known_.end() ? found->second : describe(top);
        if (entry.ownedByPid || entry.marked) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(display, top, &attributes) && attributes.map_state == IsViewable) {
                const int border = attributes.border_width;
                const PixelRect place{attributes.x, attributes.y, attributes.width + 2 * border,
                                      attributes.height + 2 * border};
                shown_.emplace(top, place);
                trails_.try_emplace(top, place).first->second.add(place);
            }
        }
        current.emplace(top, entry);
    }
    known_ = std::move(current);
}

X11OwnWindows::TopLevel X11OwnWindows::describe(Window window) {
    TopLevel entry;
    entry.ownedByPid = ownedByPid(window);
    entry.marked = carriesMarker(window);
    for (Window client : childrenOf(display_.get(), window)) {
        entry.ownedByPid = entry.ownedByPid || ownedByPid(client);
        entry.marked = entry.marked || carriesMarker(client);
    }
    return entry;
}

bool X11OwnWindows::ownedByPid(Window window) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display_.get(), window, display_.atom("_NET_WM_PID"), 0, 1, False,
                                          XA_CARDINAL, &type, &format, &count, &remaining, &data);
    bool ours = false;
    if (status == Success && data && format == 32 && count == 1) {
        unsigned long value = 0;
        std::copy_n(data, sizeof value, reinterpret_cast<unsigned char*>(&value));
        ours = value == static_cast<unsigned long>(pid_);
    }
    if (data) XFree(data);
    return ours;
}

bool X11OwnWindows::carriesMarker(Window window) {
    // Told of later changes of the window's properties, so a marker set on a shown window takes effect.
    XSelectInput(display_.get(), window, PropertyChangeMask);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display_.get(), window, display_.atom(CaptureExclusions::windowProperty), 0,
                                          1, False, XA_CARDINAL, &type, &format, &count, &remaining, &data);
    const bool marked = status == Success && data && count == 1;
    if (data) XFree(data);
    return marked;
}

} // namespace orvik::helper
