#include "menubar/XEmbedTrayWatch.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace orvik::helper {
namespace {

// _NET_SYSTEM_TRAY_COLORS: normal, error, warning and success colours, each red, green, blue in 16 bits.
constexpr long trayColourValues = 12;

} // namespace

XEmbedTrayWatch::XEmbedTrayWatch(QObject* parent) : TrayHostWatch(parent), manager_("_NET_SYSTEM_TRAY_S") {
    connect(&manager_, &X11SelectionOwnerWatch::ownerChanged, this, &TrayHostWatch::availabilityChanged);
}

std::optional<QColor> XEmbedTrayWatch::iconColour() const {
    Display* display = manager_.display();
    if (!display || manager_.owner() == 0) return std::nullopt;
    const Atom property = XInternAtom(display, "_NET_SYSTEM_TRAY_COLORS", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, manager_.owner(), property, 0, trayColourValues, False, XA_CARDINAL,
                                          &type, &format, &count, &remaining, &data);
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
