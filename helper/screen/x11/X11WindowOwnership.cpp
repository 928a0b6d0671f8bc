#include "screen/x11/X11WindowOwnership.hpp"

#include "screen/CaptureExclusions.hpp"

#include <X11/Xatom.h>
#include <unistd.h>

#include <algorithm>
#include <deque>

namespace orvik::helper {

X11WindowOwnership::X11WindowOwnership(X11Display& display) : display_(display), pid_(getpid()) {}

std::vector<Window> X11WindowOwnership::children(Window window) {
    Window root = 0;
    Window parent = 0;
    Window* inside = nullptr;
    unsigned count = 0;
    std::vector<Window> result;
    if (XQueryTree(display_.get(), window, &root, &parent, &inside, &count) && inside) {
        result.assign(inside, inside + count);
    }
    if (inside) XFree(inside);
    return result;
}

X11WindowOwnership::Marks X11WindowOwnership::of(Window top) {
    Marks found;
    std::deque<Window> waiting{top};
    for (std::size_t searched = 0; !waiting.empty() && searched < mostWindowsSearched; ++searched) {
        const Window window = waiting.front();
        waiting.pop_front();
        const auto properties = read(window);
        found.ownedByPid = found.ownedByPid || properties.marks.ownedByPid;
        found.marked = found.marked || properties.marks.marked;
        // What lies below a client is the application's own (a frame may hold several, as tabs).
        if (properties.isClient) continue;
        const auto inside = children(window);
        waiting.insert(waiting.end(), inside.begin(), inside.end());
    }
    return found;
}

X11WindowOwnership::Properties X11WindowOwnership::read(Window window) {
    Display* display = display_.get();
    // Told of later changes of the window's properties, so a marker set on a shown window takes effect.
    XSelectInput(display, window, PropertyChangeMask);
    int count = 0;
    Atom* names = XListProperties(display, window, &count);
    const auto carries = [&](Atom name) { return names && std::find(names, names + count, name) != names + count; };
    Properties properties;
    properties.marks.marked = carries(display_.atom(CaptureExclusions::windowProperty));
    properties.isClient = carries(display_.atom("WM_STATE"));
    const bool hasPid = carries(display_.atom("_NET_WM_PID"));
    if (names) XFree(names);
    properties.marks.ownedByPid = hasPid && carriesPid(window);
    return properties;
}

bool X11WindowOwnership::carriesPid(Window window) {
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

} // namespace orvik::helper
