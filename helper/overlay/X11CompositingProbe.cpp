#include "overlay/X11CompositingProbe.hpp"

#include "platform/X11Display.hpp"

namespace orvik::helper {

X11CompositingProbe::X11CompositingProbe() = default;
X11CompositingProbe::~X11CompositingProbe() = default;

bool X11CompositingProbe::isCompositing() {
    if (!display_ || display_->isBroken()) display_ = X11Display::open();
    if (!display_) return false;
    return XGetSelectionOwner(display_->get(), display_->compositingManagerSelection()) != None;
}

} // namespace orvik::helper
