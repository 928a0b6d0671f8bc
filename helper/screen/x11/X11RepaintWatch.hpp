#pragma once

#include "platform/DisplayIdentifiers.hpp"
#include "platform/X11Display.hpp"

#include <X11/extensions/Xdamage.h>

#include <optional>

namespace orvik::helper {

// Tells of every area of the screen drawn on, while followed, in order with the window events: one DamageNotify
// per drawing (raw rectangles), so a drawing reported after a window's UnmapNotify was made after it. That costs
// an event per drawing, so the owner follows repaints only while it needs them. Also tells whether a compositing
// manager runs (owns _NET_WM_CM_S<screen>). Used only on the capture thread; the owner passes every event.
class X11RepaintWatch {
public:
    // One rectangle drawn on; the last of the drawing when `last` (one drawing is reported as several).
    struct Drawing {
        PixelRect area;
        bool last = true;
    };

    explicit X11RepaintWatch(X11Display& display);

    void follow(bool wanted);
    bool compositing() const { return compositing_; }
    // The area drawn on when `event` tells of a drawing made while followed; notes a compositing manager's coming
    // and going.
    std::optional<Drawing> handle(const XEvent& event);

private:
    X11Display& display_;
    int damageEvent_ = 0;
    int fixesEvent_ = 0;
    Atom managerSelection_ = None;
    bool compositing_ = false;
    Damage damage_ = 0;
    // The request that made `damage_`: what it reports as made then is the whole screen, not a drawing.
    unsigned long createdBy_ = 0;
};

} // namespace orvik::helper
