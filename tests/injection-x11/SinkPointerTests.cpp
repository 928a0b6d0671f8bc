#include "X11SinkFixture.hpp"
#include "injection/InputController.hpp"
#include "injection/x11/X11WheelAccumulator.hpp"
#include "platform/DisplayIdentifiers.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>

namespace orvik::helper::x11test {
namespace {

// Context switches of every thread of this process but the caller's: how often they woke.
std::uint64_t wakeUpsOfOtherThreads() {
    std::uint64_t total = 0;
    DIR* tasks = ::opendir("/proc/self/task");
    while (dirent* entry = tasks ? ::readdir(tasks) : nullptr) {
        if (entry->d_name[0] == '.' || std::stol(entry->d_name) == ::gettid()) continue;
        std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.find("ctxt_switches:") != std::string::npos) total += std::stoull(line.substr(line.find(':') + 1));
        }
    }
    if (tasks) ::closedir(tasks);
    return total;
}

class SinkPointer : public X11SinkTest {
protected:
    InputController controller{sink, clock.function()};

    void moveTo(double x, double y) { sink->postMouse(MouseEventKind::moved, std::nullopt, {x, y}, 0, {}); }

    // The user moves the pointer: motion from another client, as from the mouse.
    void moveLocally(int x, int y) {
        XTestFakeMotionEvent(recorder.display(), -1, x, y, CurrentTime);
        XSync(recorder.display(), False);
    }

    std::pair<int, int> pointer() const { return {recorder.pointer().x, recorder.pointer().y}; }

    std::vector<unsigned> buttons(const std::vector<Event>& events, int type) {
        std::vector<unsigned> result;
        for (const auto& event : X11EventRecorder::ofType(events, type)) result.push_back(event.detail);
        return result;
    }
};

TEST_F(SinkPointer, displaysAreTheMonitorsWithTheSharedIdentifiers) {
    auto bounds = sink->displayBounds();
    ASSERT_EQ(bounds.size(), 1u);
    EXPECT_EQ(bounds[0], (DisplayRect{0, 0, 1920, 1080}));
    EXPECT_EQ(sink->displayBounds(DisplayIdentifiers::idForName("screen")), bounds[0]);
    EXPECT_EQ(sink->displayBounds(0), std::nullopt);
    EXPECT_EQ(sink->displayBounds(DisplayIdentifiers::idForName("screen") + 1), std::nullopt);
}

// The caller knows where a move lands before the X server has handled it (once it has taken the real place it last
// asked for: until then its moves are replayed from that place).
TEST_F(SinkPointer, movesLandOnTheNearestPixelOfTheScreenAndTheCallerSeesWhereAtOnce) {
    moveTo(100.4, 200.6);
    EXPECT_EQ(sink->cursorLocation().location, (DisplayPoint{100, 201}));
    auto motions = X11EventRecorder::ofType(settle(), MotionNotify);
    ASSERT_FALSE(motions.empty());
    EXPECT_EQ(std::pair(motions.back().x, motions.back().y), std::pair(100, 201));
    controller.movePointerAbsolute({DisplayIdentifiers::idForName("screen"), 1, 1, 0});
    EXPECT_EQ(sink->cursorLocation().location, (DisplayPoint{1919, 1079}));
    settle();
    (void)sink->settledCursorLocation(); // the real place, if that asked for it
    moveTo(5000, -300);
    EXPECT_EQ(sink->cursorLocation().location, (DisplayPoint{1919, 0}));
    settle();
    EXPECT_EQ(std::pair(recorder.pointer().x, recorder.pointer().y), std::pair(1919, 0)) << "the server agrees";
}

// A phone's relative moves start from where the pointer really is: in the first batch after start-up, and in one
// right after the user moved the pointer.
TEST_F(SinkPointer, relativeMovesAfterLocalMotionStartFromThePointersRealPlace) {
    constexpr int moves = 1000;
    moveLocally(500, 300);
    for (int move = 0; move < moves; ++move) controller.movePointer(1, 0);
    settle();
    EXPECT_EQ(pointer(), std::pair(500 + moves, 300)) << "the first batch";

    clock.advance(InputController::resyncInterval);
    moveLocally(200, 700);
    for (int move = 0; move < moves; ++move) controller.movePointer(1, 0);
    settle();
    EXPECT_EQ(pointer(), std::pair(200 + moves, 700)) << "after local motion";
}

// Mend: an absolute move after local motion and a pause was moved by how far the pointer had gone from the place the
// sink knew, and so was everything after it. It lands where the phone says; a relative move after the next pause
// continues from there.
TEST_F(SinkPointer, absoluteMovesAfterLocalMotionLandWhereThePhoneSays) {
    const auto screen = DisplayIdentifiers::idForName("screen");
    controller.movePointerAbsolute({screen, 0.1f, 0.1f, 0});
    settle();
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        moveLocally(700, 300);
        clock.advance(0.4);
        controller.movePointerAbsolute({screen, 0.5f, 0.5f, 0});
        settle();
        EXPECT_EQ(pointer(), std::pair(960, 540));
        clock.advance(0.4);
        controller.movePointer(5, 5);
        settle();
        EXPECT_EQ(pointer(), std::pair(965, 545));
    }
}

// Mend: a click right after an absolute move that followed local motion clicked where the moved move had gone.
TEST_F(SinkPointer, aClickRightAfterAnAbsoluteMoveClicksWhereThePhoneSays) {
    moveTo(1800, 1000);
    settle();
    moveLocally(100, 100);
    clock.advance(0.4);
    controller.movePointerAbsolute({DisplayIdentifiers::idForName("screen"), 0.25f, 0.25f, 0});
    controller.handleButton({MouseButton::left, ButtonAction::click});
    auto presses = X11EventRecorder::ofType(settle(), ButtonPress);
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(std::pair(presses[0].x, presses[0].y), std::pair(480, 270));
}

// Until someone asks for it, where the user moves the pointer is none of the sink's business: its thread sleeps.
TEST_F(SinkPointer, theSinkDoesNotWakeWhileOnlyTheUserMovesThePointer) {
    constexpr int motions = 200;
    settle();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto before = wakeUpsOfOtherThreads();
    for (int motion = 0; motion < motions; ++motion) moveLocally(100 + motion, 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // Following the motion would take a wake-up per motion or more.
    EXPECT_LT(wakeUpsOfOtherThreads() - before, motions / 10u);
}

TEST_F(SinkPointer, clicksDoubleClicksAndButtonsArrivePlain) {
    moveTo(300, 300);
    settle();
    controller.handleButton({MouseButton::left, ButtonAction::click});
    controller.handleButton({MouseButton::right, ButtonAction::click});
    controller.handleButton({MouseButton::middle, ButtonAction::click});
    controller.handleButton({MouseButton::left, ButtonAction::doubleClick});
    auto events = settle();
    EXPECT_EQ(buttons(events, ButtonPress), (std::vector<unsigned>{Button1, Button3, Button2, Button1, Button1}));
    EXPECT_EQ(buttons(events, ButtonRelease), (std::vector<unsigned>{Button1, Button3, Button2, Button1, Button1}));
    for (const auto& event : X11EventRecorder::ofType(events, ButtonPress)) {
        EXPECT_EQ(event.x, 300);
        EXPECT_EQ(event.y, 300);
    }
    EXPECT_EQ(recorder.pointer().mask & (Button1Mask | Button2Mask | Button3Mask), 0u);
}

TEST_F(SinkPointer, dragHoldsTheButtonWhileMoving) {
    moveTo(200, 200);
    settle();
    controller.handleButton({MouseButton::left, ButtonAction::dragDown});
    controller.movePointer(50, 20);
    settle();
    auto during = recorder.pointer();
    controller.handleButton({MouseButton::left, ButtonAction::up});
    auto events = settle();
    EXPECT_TRUE(during.mask & Button1Mask);
    auto motions = X11EventRecorder::ofType(events, MotionNotify);
    ASSERT_FALSE(motions.empty());
    EXPECT_TRUE(motions.back().state & Button1Mask) << "the motion is a drag";
    auto releases = X11EventRecorder::ofType(events, ButtonRelease);
    ASSERT_EQ(releases.size(), 1u);
    EXPECT_EQ(releases[0].x, 250);
    EXPECT_EQ(releases[0].y, 220);
}

TEST_F(SinkPointer, aLeftHandedMappingSetWhileRunningStillGivesALeftClick) {
    auto click = [this] {
        sink->postMouse(MouseEventKind::down, MouseButton::left, {400, 400}, 1, {});
        sink->postMouse(MouseEventKind::up, MouseButton::left, {400, 400}, 1, {});
        return buttons(settle(), ButtonPress);
    };
    EXPECT_EQ(click(), (std::vector<unsigned>{Button1}));
    unsigned char map[32] = {};
    int count = XGetPointerMapping(recorder.display(), map, 32);
    std::swap(map[0], map[2]);
    while (XSetPointerMapping(recorder.display(), map, count) == MappingBusy) {
    }
    XSync(recorder.display(), False);
    EXPECT_EQ(click(), (std::vector<unsigned>{Button1}));
}

TEST_F(SinkPointer, wheelClicksFollowTheMacDirections) {
    constexpr auto click = static_cast<std::int32_t>(X11WheelAccumulator::pixelsPerClick);
    moveTo(300, 300);
    settle();
    sink->postScroll(0, click, ScrollPhase::none, MomentumPhase::none);
    sink->postScroll(0, -2 * click, ScrollPhase::none, MomentumPhase::none);
    sink->postScroll(click, 0, ScrollPhase::none, MomentumPhase::none);
    sink->postScroll(-click, 0, ScrollPhase::none, MomentumPhase::none);
    auto events = settle();
    EXPECT_EQ(buttons(events, ButtonPress), (std::vector<unsigned>{4, 5, 5, 6, 7}));
    EXPECT_EQ(buttons(events, ButtonRelease), (std::vector<unsigned>{4, 5, 5, 6, 7}));
}

} // namespace
} // namespace orvik::helper::x11test
