#pragma once

#include "orvik/protocol/messages/InputMessages.hpp"

#include <cstdint>

namespace orvik::helper {

// X11 has no pixel scrolling through XTest, only wheel clicks (buttons 4/5 vertical, 6/7 horizontal), so the
// sink adds up scroll pixels per axis and posts a click for every whole `pixelsPerClick`.
//
// A wheel click scrolls about three lines in GTK and Qt applications; at 30 pixels of finger travel per click
// content moves somewhat faster than the finger, like the Mac's accelerated scrolling, while the one-pixel
// steps a gesture's phases produce need 30 of them in one direction before anything scrolls. Reversing
// direction or beginning a new gesture drops the pixels gathered so far.
//
// Direction, as on the Mac's wheel: positive dy scrolls up (button 4), positive dx scrolls left (button 6).
class X11WheelAccumulator {
public:
    static constexpr std::int64_t pixelsPerClick = 30;
    // Clicks beyond this in one event are dropped, so one huge delta cannot scroll for seconds.
    static constexpr int maxClicksPerEvent = 50;

    struct Clicks {
        int horizontal = 0; // positive: left (button 6), negative: right (button 7)
        int vertical = 0;   // positive: up (button 4), negative: down (button 5)

        friend bool operator==(const Clicks&, const Clicks&) = default;
    };

    Clicks add(std::int32_t dx, std::int32_t dy, ScrollPhase phase);
    void reset();

private:
    static int clicks(std::int64_t& remainder, std::int32_t delta);

    std::int64_t remainderX_ = 0;
    std::int64_t remainderY_ = 0;
};

} // namespace orvik::helper
