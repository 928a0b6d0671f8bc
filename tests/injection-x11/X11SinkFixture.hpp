#pragma once

// Google Test first: Xlib defines macros (None, Bool, Status) that clash with its names.
#include <gtest/gtest.h>

#include "ChildProcess.hpp"
#include "X11EventRecorder.hpp"
#include "core/ServerClock.hpp"
#include "injection/x11/CGEventSink.hpp"
#include "injection/x11/X11SpareKeycodes.hpp"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <vector>

namespace orvik::helper::x11test {

// A sink on the test's Xvfb with a clock that moves only when the test says, and a window that records what
// arrives. Borrowed keycodes are reused or given back only when the test advances the clock.
class X11SinkTest : public ::testing::Test {
protected:
    using Event = X11EventRecorder::Event;

    // Waits until the X server has handled everything the sink could send so far; the recorder then reads the
    // events that produced.
    std::vector<Event> settle() {
        EXPECT_TRUE(sink->settle());
        return recorder.take();
    }

    // Moves the clock and lets the sink do what became due.
    void advance(double seconds) {
        clock.advance(seconds);
        EXPECT_TRUE(sink->settle());
    }

    // The sink, when it ends, need not wait for applications to read its last borrowed keycodes.
    void TearDown() override { clock.advance(X11SpareKeycodes::reuseDelay); }

    // Loads another keyboard layout (one or more groups, "us,ru"), as the desktop's settings do.
    static void setLayout(const std::string& layout) {
        std::istringstream folders(std::getenv("PATH") ? std::getenv("PATH") : "");
        for (std::string folder; std::getline(folders, folder, ':');) {
            auto program = std::filesystem::path(folder) / "setxkbmap";
            if (::access(program.c_str(), X_OK) != 0) continue;
            auto result =
                orvik::test::ChildProcess::run({program.string(), "-layout", layout}, std::chrono::seconds(10));
            ASSERT_EQ(result.status, 0) << "setxkbmap " << layout;
            return;
        }
        FAIL() << "setxkbmap is not installed";
    }

    ManualClock clock{1000};
    X11EventRecorder recorder;
    std::shared_ptr<CGEventSink> sink = std::make_shared<CGEventSink>(0.4, CGEventSinkOptions{"", clock.function()});
};

} // namespace orvik::helper::x11test
