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
    // A window is looked at afresh when it appears: its _NET_WM_PID and clients are set by then.
    switch (event.type) {
    case CreateNotify: known_.erase(event.xcreatewindow.window); break;
    case MapNotify: known_.erase(event.xmap.window); break;
    case ReparentNotify:
        known_.erase(event.xreparent.window);
        known_.erase(event.xreparent.parent);
        break;
    case PropertyNotify:
        // The marker may be on a client inside a frame: look at every window afresh.
        if (event.xproperty.atom != display_.atom(CaptureExclusions::windowProperty)) return;
        known_.clear();
        stale_ = true;
        return;
    default: break;
    }
    switch (event.type) {
    case CreateNotify:
    case DestroyNotify:
    case MapNotify:
    case UnmapNotify:
    case ConfigureNotify:
    case ReparentNotify:
    case GravityNotify:
    case CirculateNotify: stale_ = true; break;
    default: break;
    }
}

const std::vector<PixelRect>& X11OwnWindows::rects() {
    if (stale_) refresh();
    return rects_;
}

void X11OwnWindows::refresh() {
    stale_ = false;
    rects_.clear();
    Display* display = display_.get();
    std::unordered_map<Window, TopLevel> current;
    for (Window top : childrenOf(display, display_.root())) {
        auto found = known_.find(top);
        TopLevel entry = found != known_.end() ? found->second : describe(top);
        if (entry.ownedByPid || entry.marked) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(display, top, &attributes) && attributes.map_state == IsViewable) {
                const int border = attributes.border_width;
                rects_.push_back(
                    {attributes.x, attributes.y, attributes.width + 2 * border, attributes.height + 2 * border});
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
