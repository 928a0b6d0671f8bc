#pragma once

// Google Test first: Xlib defines macros (None, Bool, Status) that clash with its names.
#include <gtest/gtest.h>

#include "X11EventRecorder.hpp"
#include "core/ServerClock.hpp"
#include "injection/x11/CGEventSink.hpp"

#include <memory>
#include <vector>

namespace orvik::helper::x11test {

// A sink on the test's Xvfb with a clock that moves only when the test says, and a window that records what
// arrives. Borrowed keycodes are given back only when the test advances the clock, so the recorder reads every
// key with the keyboard map it was typed with.
class X11SinkTest : public ::testing::Test {
protected:
    using Event = X11EventRecorder::Event;

    // A round trip on the sink's connection makes the server handle everything the sink sent before; the
    // recorder then reads the events that produced.
    std::vector<Event> settle() {
        sink->cursorLocation();
        return recorder.take();
    }

    // Moves the clock and lets the sink do what became due, finished on the server when this returns.
    void advance(double seconds) {
        clock.advance(seconds);
        sink->runDueWork();
        sink->cursorLocation();
    }

    ManualClock clock{1000};
    X11EventRecorder recorder;
    std::shared_ptr<CGEventSink> sink =
        std::make_shared<CGEventSink>(0.4, CGEventSinkOptions{"", clock.function(), false});
};

} // namespace orvik::helper::x11test
