#include "screen/x11/X11RepaintWatch.hpp"

#include <X11/extensions/Xfixes.h>

namespace orvik::helper {

X11RepaintWatch::X11RepaintWatch(X11Display& display) : display_(display) {
    Display* handle = display_.get();
    int error = 0;
    XDamageQueryExtension(handle, &damageEvent_, &error);
    XFixesQueryExtension(handle, &fixesEvent_, &error);
    managerSelection_ = display_.compositingManagerSelection();
    // Asked before the owner is read, so no change in between goes unnoticed.
    XFixesSelectSelectionInput(handle, display_.root(), managerSelection_,
                               XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                   XFixesSelectionClientCloseNotifyMask);
    compositing_ = XGetSelectionOwner(handle, managerSelection_) != None;
}

void X11RepaintWatch::follow(bool wanted) {
    if (wanted == (damage_ != 0) || display_.isBroken()) return;
    Display* handle = display_.get();
    if (wanted) {
        createdBy_ = NextRequest(handle);
        damage_ = XDamageCreate(handle, display_.root(), XDamageReportRawRectangles);
    } else {
        XDamageDestroy(handle, damage_);
        damage_ = 0;
    }
}

std::optional<X11RepaintWatch::Drawing> X11RepaintWatch::handle(const XEvent& event) {
    // Only the server's own reports: a client may send anything (XSendEvent).
    if (event.xany.send_event) return std::nullopt;
    if (event.type == fixesEvent_ + XFixesSelectionNotify) {
        const auto& notify = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
        if (notify.selection == managerSelection_) {
            compositing_ = notify.subtype == XFixesSetSelectionOwnerNotify && notify.owner != None;
        }
        return std::nullopt;
    }
    if (event.type != damageEvent_ + XDamageNotify) return std::nullopt;
    const auto& notify = reinterpret_cast<const XDamageNotifyEvent&>(event);
    if (damage_ == 0 || notify.damage != damage_ || notify.serial <= createdBy_) return std::nullopt;
    return Drawing{{notify.area.x, notify.area.y, notify.area.width, notify.area.height}, notify.more == False};
}

} // namespace orvik::helper
