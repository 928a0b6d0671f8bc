#include "overlay/OverlayTracker.hpp"

#include "overlay/OverlayStyle.hpp"

namespace orvik::helper {

void OverlayTracker::setMode(OverlayMode mode, double now) {
    mode_ = mode;
    if (mode != OverlayMode::off) lastMove_ = now;
}

OverlayTracker::Tick OverlayTracker::tick(OverlayPoint pointer, double now, OverlayRect panel,
                                          const std::vector<OverlayRect>& screens) {
    // An unchanged position, compared exactly, counts as still.
    if (pointer != lastMouse_) {
        lastMouse_ = pointer;
        lastMove_ = now;
        if (!panel.contains(pointer)) {
            if (auto screen = screenUnder(pointer, screens)) panel = *screen;
        }
    }
    bool idle = now - lastMove_ > OverlayStyle::laserIdleTimeout;
    return {panel, {pointer.x - panel.x, pointer.y - panel.y}, mode_ == OverlayMode::laser && idle};
}

} // namespace orvik::helper
