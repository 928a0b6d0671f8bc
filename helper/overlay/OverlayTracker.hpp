#pragma once

#include "orvik/protocol/messages/CommandMessages.hpp"
#include "overlay/OverlayGeometry.hpp"

#include <vector>

namespace orvik::helper {

// What the overlay does on each tick, apart from drawing: follows the pointer onto its screen, converts its
// position into the panel's coordinates and hides the laser dot while the pointer stands still. Times are
// seconds on the controller's clock.
class OverlayTracker {
public:
    struct Tick {
        OverlayRect panel;   // where the panel must be: the screen under the pointer once it left the panel
        OverlayPoint cursor; // the pointer relative to that panel
        bool dotHidden = false;
    };

    explicit OverlayTracker(double now) : lastMove_(now) {}

    OverlayMode mode() const { return mode_; }
    // A mode that shows something restarts the idle time, so a new laser is seen for at least the timeout.
    void setMode(OverlayMode mode, double now);

    Tick tick(OverlayPoint pointer, double now, OverlayRect panel, const std::vector<OverlayRect>& screens);

private:
    OverlayMode mode_ = OverlayMode::off;
    OverlayPoint lastMouse_;
    double lastMove_;
};

} // namespace orvik::helper
