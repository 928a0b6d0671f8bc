#include "apps/EwmhDesktop.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace orvik::helper {
namespace {

// Longest property read, in 32-bit units (a client list of this many windows).
constexpr long maxPropertyLength = 65536;
// How long to wait for the server to report the property change that tells its time.
constexpr auto serverTimeLimit = std::chrono::milliseconds(2000);
// _NET_ACTIVE_WINDOW / _NET_CLOSE_WINDOW source indication: a pager or task bar, acting for the user.
constexpr long sourcePager = 2;
// _NET_WM_DESKTOP of a window shown on every desktop.
constexpr unsigned long allDesktops = 0xFFFFFFFF;

} // namespace

std::unique_ptr<EwmhDesktop> EwmhDesktop::open(const std::string& displayName) {
    auto display = X11Display::open(displayName);
    if (!display) return nullptr;
    return std::unique_ptr<EwmhDesktop>(new EwmhDesktop(std::move(display)));
}

EwmhDesktop::EwmhDesktop(std::unique_ptr<X11Display> display) : display_(std::move(display)) {
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    clock_ = XCreateWindow(display_->get(), display_->root(), -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent,
                           CWEventMask, &attributes);
}

EwmhDesktop::~EwmhDesktop() {
    if (!display_->isBroken() && clock_ != None) XDestroyWindow(display_->get(), clock_);
}

std::vector<unsigned long> EwmhDesktop::cardinals(Window window, const char* property, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> values;
    if (display_->isBroken()) return values;
    const int status = XGetWindowProperty(display_->get(), window, display_->atom(property), 0, maxPropertyLength,
                                          False, type, &actualType, &format, &count, &remaining, &data);
    if (status == Success && data && format == 32 && actualType == type) {
        // Xlib hands 32-bit properties over as longs.
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        values.assign(items, items + count);
    }
    if (data) XFree(data);
    return values;
}

std::string EwmhDesktop::textProperty(Window window, const char* property, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    std::string value;
    if (display_->isBroken()) return value;
    const int status = XGetWindowProperty(display_->get(), window, display_->atom(property), 0, maxPropertyLength,
                                          False, type, &actualType, &format, &count, &remaining, &data);
    if (status == Success && data && format == 8 && actualType == type) {
        value.assign(reinterpret_cast<const char*>(data), count);
    }
    if (data) XFree(data);
    return value;
}

std::vector<Window> EwmhDesktop::clientWindows() {
    const auto values = cardinals(display_->root(), "_NET_CLIENT_LIST", XA_WINDOW);
    return {values.begin(), values.end()};
}

std::optional<Window> EwmhDesktop::activeWindow() {
    const auto values = cardinals(display_->root(), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    if (values.empty() || values.front() == None) return std::nullopt;
    return static_cast<Window>(values.front());
}

WindowIdentity EwmhDesktop::identity(Window window) {
    WindowIdentity identity;
    // WM_CLASS holds two NUL-terminated strings: instance, then class.
    const auto wmClass = textProperty(window, "WM_CLASS", XA_STRING);
    const auto split = wmClass.find('\0');
    identity.instance = wmClass.substr(0, split);
    if (split != std::string::npos) identity.className = std::string(wmClass.substr(split + 1).c_str());
    identity.applicationID = textProperty(window, "_GTK_APPLICATION_ID", display_->atom("UTF8_STRING"));
    const auto pid = cardinals(window, "_NET_WM_PID", XA_CARDINAL);
    if (!pid.empty()) identity.pid = static_cast<pid_t>(pid.front());
    return identity;
}

std::string EwmhDesktop::title(Window window) {
    auto name = textProperty(window, "_NET_WM_NAME", display_->atom("UTF8_STRING"));
    return name.empty() ? textProperty(window, "WM_NAME", XA_STRING) : name;
}

void EwmhDesktop::sendToRoot(Window window, const char* message, const std::vector<long>& data) {
    if (display_->isBroken()) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = display_->atom(message);
    event.xclient.format = 32;
    for (std::size_t index = 0; index < data.size() && index < 5; ++index) event.xclient.data.l[index] = data[index];
    XSendEvent(display_->get(), display_->root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

void EwmhDesktop::activate(Window window) {
    const auto time = static_cast<long>(serverTime());
    // A minimised (iconic) window comes back when it is mapped again.
    const auto states = cardinals(window, "_NET_WM_STATE", XA_ATOM);
    const auto hidden = display_->atom("_NET_WM_STATE_HIDDEN");
    if (std::find(states.begin(), states.end(), hidden) != states.end()) XMapRaised(display_->get(), window);
    const auto desktop = cardinals(window, "_NET_WM_DESKTOP", XA_CARDINAL);
    const auto current = cardinals(display_->root(), "_NET_CURRENT_DESKTOP", XA_CARDINAL);
    if (!desktop.empty() && desktop.front() != allDesktops && (current.empty() || current.front() != desktop.front())) {
        sendToRoot(display_->root(), "_NET_CURRENT_DESKTOP", {static_cast<long>(desktop.front()), time});
    }
    sendToRoot(window, "_NET_ACTIVE_WINDOW", {sourcePager, time, 0});
    XFlush(display_->get());
}

void EwmhDesktop::close(Window window) {
    const auto time = static_cast<long>(serverTime());
    sendToRoot(window, "_NET_CLOSE_WINDOW", {time, sourcePager});
    XFlush(display_->get());
}

Time EwmhDesktop::serverTime() {
    if (display_->isBroken() || clock_ == None) return CurrentTime;
    Display* x = display_->get();
    const Atom property = display_->atom("_ORVIK_TIMESTAMP");
    XChangeProperty(x, clock_, property, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XFlush(x);
    const auto deadline = std::chrono::steady_clock::now() + serverTimeLimit;
    while (!display_->isBroken()) {
        XEvent event{};
        if (XCheckTypedWindowEvent(x, clock_, PropertyNotify, &event)) {
            if (event.xproperty.atom == property) return event.xproperty.time;
            continue;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd socket{ConnectionNumber(x), POLLIN, 0};
        ::poll(&socket, 1, static_cast<int>(left.count()));
        XEventsQueued(x, QueuedAfterReading);
    }
    return CurrentTime;
}

} // namespace orvik::helper
