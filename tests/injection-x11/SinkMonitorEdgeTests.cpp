// Google Test first: Xlib defines macros (None, Bool, Status) that clash with its names.
#include <gtest/gtest.h>

#include "PrivateXServer.hpp"
#include "X11EventRecorder.hpp"
#include "core/ServerClock.hpp"
#include "injection/InputController.hpp"
#include "injection/x11/CGEventSink.hpp"
#include "platform/DisplayIdentifiers.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orvik::helper::x11test {
namespace {

// Sets a monitor as `xrandr --setmonitor` does; one that takes the screen's output replaces the monitor X made
// for it.
void setMonitor(Display* display, const char* name, const PixelRect& rect, bool takesTheOutput) {
    XRRScreenResources* resources = XRRGetScreenResources(display, DefaultRootWindow(display));
    ASSERT_TRUE(resources && resources->noutput > 0);
    XRRMonitorInfo* monitor = XRRAllocateMonitor(display, takesTheOutput ? 1 : 0);
    monitor->name = XInternAtom(display, name, False);
    monitor->x = rect.x;
    monitor->y = rect.y;
    monitor->width = rect.width;
    monitor->height = rect.height;
    monitor->mwidth = rect.width / 4;
    monitor->mheight = rect.height / 4;
    if (takesTheOutput) monitor->outputs[0] = resources->outputs[0];
    XRRSetMonitor(display, DefaultRootWindow(display), monitor);
    XSync(display, False);
    XRRFreeMonitors(monitor);
    XRRFreeScreenResources(resources);
}

// Two monitors of different heights side by side on a wider root: A 1920x1080+0+0, B 1280x1024+1920+56. The strip
// above B lies on the root but on no monitor.
class SinkMonitorEdges : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(server.name().empty());
        recorder = std::make_unique<X11EventRecorder>(server.name());
        setMonitor(recorder->display(), "A", {0, 0, 1920, 1080}, true);
        setMonitor(recorder->display(), "B", {1920, 56, 1280, 1024}, false);
        sink = std::make_shared<CGEventSink>(0.4, CGEventSinkOptions{server.name(), clock.function()});
        controller = std::make_unique<InputController>(sink, clock.function());
        ASSERT_EQ(sink->displayBounds().size(), 2u);
    }

    void moveLocally(int x, int y) {
        XTestFakeMotionEvent(recorder->display(), -1, x, y, CurrentTime);
        XSync(recorder->display(), False);
    }

    std::pair<int, int> pointer() const { return {recorder->pointer().x, recorder->pointer().y}; }

    PrivateXServer server{"3200x1080x24"};
    std::unique_ptr<X11EventRecorder> recorder;
    ManualClock clock{1000};
    std::shared_ptr<CGEventSink> sink;
    std::unique_ptr<InputController> controller;
};

// Relative moves after local motion and a pause, sent together or each after the last has landed: motion that would
// leave every monitor is pinned to the edge of the one the pointer was on; motion onto the other passes.
TEST_F(SinkMonitorEdges, relativeMovesAfterAPauseStayOnTheMonitors) {
    struct Row {
        const char* name;
        std::pair<int, int> local;
        std::vector<std::pair<float, float>> moves;
        std::pair<int, int> landing;
    };
    const std::vector<Row> rows{
        {"leavesEveryMonitor", {1910, 20}, {{20, 0}}, {1919, 20}},
        {"keepsPushingAtTheEdge", {1910, 20}, {{20, 0}, {20, 0}}, {1919, 20}},
        {"crossesOntoTheOther", {1910, 100}, {{20, 0}, {20, 0}}, {1950, 100}},
        {"leavesTheOtherAtItsTop", {3190, 60}, {{0, -10}, {-5, -10}}, {3185, 56}},
    };
    for (bool together : {false, true}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (together ? ", sent together" : ", each after the last landed"));
            moveLocally(row.local.first, row.local.second);
            clock.advance(0.4);
            for (auto [dx, dy] : row.moves) {
                controller->movePointer(dx, dy);
                if (!together) {
                    ASSERT_TRUE(sink->settle());
                }
            }
            ASSERT_TRUE(sink->settle());
            EXPECT_EQ(pointer(), row.landing);
        }
    }
}

} // namespace
} // namespace orvik::helper::x11test
