#include "menubar/XEmbedTrayWatch.hpp"

#include <QGuiApplication>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace orvik::helper {
namespace {

// _NET_SYSTEM_TRAY_COLORS: normal, error, warning and success colours, each red, green, blue in 16 bits.
constexpr long trayColourValues = 12;

// An XFixes selection-notify event as the X server sends it: the selection's atom at this byte offset.
constexpr std::size_t selectionOffset = 12;

} // namespace

XEmbedTrayWatch::XEmbedTrayWatch(QObject* parent) : TrayHostWatch(parent) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    display_ = x11 ? x11->display() : nullptr;
    if (!display_) return;
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(display_));
    selection_ = XInternAtom(display_, name.c_str(), False);
    int errorBase = 0;
    if (XFixesQueryExtension(display_, &fixesEventBase_, &errorBase)) {
        XFixesSelectSelectionInput(display_, DefaultRootWindow(display_), selection_,
                                   XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    readManager();
}

void XEmbedTrayWatch::readManager() {
    manager_ = XGetSelectionOwner(display_, selection_);
}

bool XEmbedTrayWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) {
    if (eventType != "xcb_generic_event_t" || fixesEventBase_ < 0) return false;
    const auto* event = static_cast<const std::uint8_t*>(message);
    if ((event[0] & 0x7f) != fixesEventBase_ + XFixesSelectionNotify) return false;
    std::uint32_t selection = 0;
    std::memcpy(&selection, event + selectionOffset, sizeof selection);
    if (selection != selection_) return false;
    // Qt handles the event too (it ignores selections it does not know); the tray is looked at afterwards.
    QMetaObject::invokeMethod(
        this,
        [this] {
            const auto before = manager_;
            readManager();
            if (manager_ != before) emit availabilityChanged();
        },
        Qt::QueuedConnection);
    return false;
}

std::optional<QColor> XEmbedTrayWatch::iconColour() const {
    if (!display_ || manager_ == 0) return std::nullopt;
    const Atom property = XInternAtom(display_, "_NET_SYSTEM_TRAY_COLORS", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display_, manager_, property, 0, trayColourValues, False, XA_CARDINAL, &type,
                                          &format, &count, &remaining, &data);
    std::optional<QColor> colour;
    if (status == Success && type == XA_CARDINAL && format == 32 && count >= 3) {
        // Format 32 properties arrive as longs.
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        colour = QColor::fromRgba64(static_cast<quint16>(values[0]), static_cast<quint16>(values[1]),
                                    static_cast<quint16>(values[2]));
    }
    if (data) XFree(data);
    return colour;
}

} // namespace orvik::helper
