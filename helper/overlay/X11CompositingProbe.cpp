#include "overlay/X11CompositingProbe.hpp"

#include "platform/X11Display.hpp"

#include <string>

namespace orvik::helper {

X11CompositingProbe::X11CompositingProbe() = default;
X11CompositingProbe::~X11CompositingProbe() = default;

bool X11CompositingProbe::isCompositing() {
    if (!display_ || display_->isBroken()) display_ = X11Display::open();
    if (!display_) return false;
    Atom selection = display_->atom("_NET_WM_CM_S" + std::to_string(display_->screen()));
    return XGetSelectionOwner(display_->get(), selection) != None;
}

} // namespace orvik::helper
