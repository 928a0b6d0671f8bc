#include "injection/x11/X11InputConnection.hpp"

#include "injection/x11/X11Keyboard.hpp"
#include "injection/x11/X11Pointer.hpp"
#include "platform/SessionLock.hpp"
#include "platform/X11Display.hpp"
#include "platform/X11Monitors.hpp"

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlibint.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/scrnsaver.h>

namespace orvik::helper {

std::unique_ptr<X11InputConnection> X11InputConnection::open(const std::string& displayName) {
    auto display = X11Display::open(displayName);
    if (!display) return nullptr;
    return std::unique_ptr<X11InputConnection>(new X11InputConnection(std::move(display)));
}

X11InputConnection::X11InputConnection(std::unique_ptr<X11Display> display)
    : display_(std::move(display)), keyboard_(std::make_unique<X11Keyboard>(*display_)),
      pointer_(std::make_unique<X11Pointer>(display_->get())) {
    selectEvents();
}

X11InputConnection::~X11InputConnection() = default;

bool X11InputConnection::isBroken() const {
    return display_->isBroken();
}

int X11InputConnection::fileDescriptor() const {
    return ConnectionNumber(display_->get());
}

void X11InputConnection::selectEvents() {
    Display* handle = display_->get();
    int errorBase = 0;
    if (XRRQueryExtension(handle, &randrEventBase_, &errorBase)) {
        XRRSelectInput(handle, display_->root(),
                       RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    }
    int opcode = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (XkbQueryExtension(handle, &opcode, &xkbEventBase_, &errorBase, &major, &minor)) {
        // An XKB client hears of keyboard map changes only through XKB events it asked for.
        constexpr unsigned mapDetails = XkbKeySymsMask | XkbKeyTypesMask | XkbModifierMapMask;
        XkbSelectEventDetails(handle, XkbUseCoreKbd, XkbMapNotify, mapDetails, mapDetails);
        XkbSelectEventDetails(handle, XkbUseCoreKbd, XkbNewKeyboardNotify, XkbNKN_KeycodesMask, XkbNKN_KeycodesMask);
    } else {
        xkbEventBase_ = -1;
    }
    if (XScreenSaverQueryExtension(handle, &screenSaverEventBase_, &errorBase)) {
        XScreenSaverSelectInput(handle, display_->root(), ScreenSaverNotifyMask);
    } else {
        screenSaverEventBase_ = -1;
    }
}

bool X11InputConnection::drainEvents() {
    bool desktopChanged = false;
    Display* handle = display_->get();
    while (!display_->isBroken() && XPending(handle) > 0) {
        XEvent event;
        XNextEvent(handle, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            if (event.xmapping.request == MappingPointer) {
                pointer_->mappingChanged();
            } else {
                keyboard_->mappingChanged();
            }
        } else if (xkbEventBase_ >= 0 && event.type == xkbEventBase_) {
            keyboard_->mappingChanged();
        } else if (randrEventBase_ >= 0 &&
                   (event.type == randrEventBase_ + RRScreenChangeNotify || event.type == randrEventBase_ + RRNotify)) {
            XRRUpdateConfiguration(&event);
            desktopChanged = true;
        } else if (screenSaverEventBase_ >= 0 && event.type == screenSaverEventBase_ + ScreenSaverNotify) {
            desktopChanged = true;
        }
    }
    return desktopChanged;
}

bool X11InputConnection::hasQueuedEvents() const {
    return !display_->isBroken() && XEventsQueued(display_->get(), QueuedAlready) > 0;
}

std::vector<DisplayInfo> X11InputConnection::monitors() {
    return X11Monitors::list(*display_);
}

bool X11InputConnection::screenSaverOn() {
    return SessionLock::screenSaverActive(*display_).value_or(false);
}

std::optional<DisplayPoint> X11InputConnection::pointerLocation() {
    Window root = None;
    Window child = None;
    int rootX = 0;
    int rootY = 0;
    int windowX = 0;
    int windowY = 0;
    unsigned mask = 0;
    if (display_->isBroken() ||
        !XQueryPointer(display_->get(), display_->root(), &root, &child, &rootX, &rootY, &windowX, &windowY, &mask)) {
        return std::nullopt;
    }
    return DisplayPoint{static_cast<double>(rootX), static_cast<double>(rootY)};
}

PixelRect X11InputConnection::screen() const {
    Display* handle = display_->get();
    int screen = display_->screen();
    return {0, 0, DisplayWidth(handle, screen), DisplayHeight(handle, screen)};
}

// XFlush also tries twice to read events after its write; for a thread woken to post one move that doubled its
// calls. Events are read when the server has sent some (drainEvents). But writing reads too, when the server has
// sent something meanwhile: the socket then no longer shows it, so it is taken into Xlib's queue here, where
// hasQueuedEvents() sees it.
void X11InputConnection::flush() {
    if (display_->isBroken()) return;
    Display* handle = display_->get();
    xcb_connection_t* connection = XGetXCBConnection(handle);
    const auto readBefore = xcb_total_read(connection);
    LockDisplay(handle);
    _XSend(handle, nullptr, 0);
    UnlockDisplay(handle);
    if (xcb_total_read(connection) != readBefore) XEventsQueued(handle, QueuedAfterReading);
}

void X11InputConnection::sync() {
    if (!display_->isBroken()) XSync(display_->get(), False);
}

} // namespace orvik::helper
