#include "menubar/X11SelectionOwnerWatch.hpp"

#include <QCoreApplication>
#include <QGuiApplication>

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <xcb/xproto.h>

#include <cstdint>
#include <cstring>

namespace orvik::helper {
namespace {

// An XFixes selection-notify event as the X server sends it: the selection's atom at this byte offset.
constexpr std::size_t selectionOffset = 12;
// The event's type, without the bit that marks an event sent by a client.
constexpr std::uint8_t eventTypeBits = 0x7f;

} // namespace

X11SelectionOwnerWatch::X11SelectionOwnerWatch(const std::string& prefix, const std::string& property, QObject* parent)
    : QObject(parent) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    display_ = x11 ? x11->display() : nullptr;
    if (!display_) return;
    const std::string selection = prefix + std::to_string(DefaultScreen(display_));
    selection_ = XInternAtom(display_, selection.c_str(), False);
    if (!property.empty()) property_ = XInternAtom(display_, property.c_str(), False);
    int errorBase = 0;
    if (XFixesQueryExtension(display_, &fixesEventBase_, &errorBase)) {
        XFixesSelectSelectionInput(display_, DefaultRootWindow(display_), selection_,
                                   XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    readOwner();
}

void X11SelectionOwnerWatch::readOwner() {
    owner_ = XGetSelectionOwner(display_, selection_);
    if (property_ == 0 || owner_ == 0) return;
    // Adds to what this connection (Qt's) already hears from the window, never taking anything away.
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display_, owner_, &attributes) != 0) {
        XSelectInput(display_, owner_, attributes.your_event_mask | PropertyChangeMask);
        // Xlib keeps a request that needs no answer until the next one that does.
        XFlush(display_);
    }
}

bool X11SelectionOwnerWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) {
    if (eventType != "xcb_generic_event_t" || fixesEventBase_ < 0) return false;
    const auto* event = static_cast<const std::uint8_t*>(message);
    const std::uint8_t type = event[0] & eventTypeBits;
    // Qt handles the events too (it ignores windows and selections it does not know); they are followed afterwards.
    if (type == fixesEventBase_ + XFixesSelectionNotify) {
        std::uint32_t selection = 0;
        std::memcpy(&selection, event + selectionOffset, sizeof selection);
        if (selection != selection_) return false;
        QMetaObject::invokeMethod(
            this,
            [this] {
                const auto before = owner_;
                readOwner();
                if (owner_ != before) emit ownerChanged();
            },
            Qt::QueuedConnection);
    } else if (type == XCB_PROPERTY_NOTIFY && property_ != 0) {
        const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
        if (change->window != owner_ || change->atom != property_) return false;
        QMetaObject::invokeMethod(this, &X11SelectionOwnerWatch::propertyChanged, Qt::QueuedConnection);
    }
    return false;
}

} // namespace orvik::helper
