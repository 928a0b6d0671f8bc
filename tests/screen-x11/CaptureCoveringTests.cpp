// Another program's window raised above one of ours: the picture shows it where it hides ours, and black only
// where ours can be seen, or might be seen through it.
#include "CaptureFixture.hpp"

#include "ChildProcess.hpp"
#include "WaitUntil.hpp"
#include "screen/x11/WindowStack.hpp"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper::x11test {
namespace {

using orvik::test::ChildProcess;

TEST(WindowStack, followsTheServersStackingEvents) {
    using Ids = std::vector<WindowStack::Id>;
    struct Case {
        std::string name;
        void (*change)(WindowStack&);
        Ids aboveTwo;
    };
    const Case cases[] = {
        {"as listed", [](WindowStack&) {}, {3, 4}},
        {"created on top", [](WindowStack& stack) { stack.raise(5); }, {3, 4, 5}},
        {"placed above a sibling", [](WindowStack& stack) { stack.placeAbove(4, 1); }, {3}},
        {"placed at the bottom", [](WindowStack& stack) { stack.placeAbove(3, 0); }, {4}},
        {"placed above an unknown sibling", [](WindowStack& stack) { stack.placeAbove(3, 99); }, {4}},
        {"ours raised", [](WindowStack& stack) { stack.raise(2); }, {}},
        {"ours lowered", [](WindowStack& stack) { stack.lower(2); }, {1, 3, 4}},
        {"one above removed", [](WindowStack& stack) { stack.remove(3); }, {4}},
        {"ours removed", [](WindowStack& stack) { stack.remove(2); }, {}},
    };
    for (const auto& stackCase : cases) {
        WindowStack stack;
        stack.reset({1, 2, 3, 4});
        stackCase.change(stack);
        EXPECT_EQ(stack.above(2), stackCase.aboveTwo) << stackCase.name;
    }
}

constexpr PixelRect oursAt{200, 200, 400, 300};
// Over the right half of ours and beyond it.
constexpr PixelRect coverAt{400, 250, 300, 200};
constexpr unsigned long desktop = 0x808080;
constexpr unsigned long coverColour = 0x404040;

enum class Cover {
    opaque,
    holed,             // a shape with a hole where it lies over ours
    halfTransparent,   // _NET_WM_WINDOW_OPACITY 0.5
    lowered,           // raised over ours, then ours raised over it
    dimmedByCompositor // opaque, but the compositing manager draws windows translucent by its own rule
};

struct Covering {
    std::string name;
    std::string compositor; // none when empty
    Cover cover;
    bool showsTheCover; // where it lies over ours, once the compositing manager has faded it in
};

void PrintTo(const Covering& covering, std::ostream* out) {
    *out << covering.name;
}

// Fading, so the cover fades in over ours; no shadow, so only the cover itself lies over ours.
std::vector<std::string> compositorCommand(const std::string& name, bool dimsWindows) {
    if (name == "xcompmgr") return {"xcompmgr", "-f"};
    const std::string path = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/picom-covering.conf";
    std::ofstream(path) << "backend = \"xrender\";\nvsync = false;\nshadow = false;\nfading = true;\n"
                        << (dimsWindows ? "inactive-opacity = 0.8;\nmark-ovredir-focused = false;\n" : "");
    return {"picom", "--config", path};
}

class CoveredWindow : public WatchingFixture, public ::testing::WithParamInterface<Covering> {};

TEST_P(CoveredWindow, showsTheWindowAboveOnlyWhereNothingOfOursShowsThrough) {
    const auto& covering = GetParam();
    painter_.window({0, 0, 1920, 1080}, desktop);
    const Window marked = painter_.window(oursAt, 0xFF00FF);
    painter_.markExcluded(marked, true);
    std::optional<ChildProcess> compositor;
    if (!covering.compositor.empty()) {
        compositor.emplace(compositorCommand(covering.compositor, covering.cover == Cover::dimmedByCompositor));
        ASSERT_TRUE(orvik::test::waitUntil([&] { return painter_.compositing(); }));
    }
    ASSERT_TRUE(startWatching());
    const Window above = painter_.window(coverAt, coverColour);
    if (covering.cover == Cover::holed) painter_.cutHole(above, {0, 0, 100, 100});
    if (covering.cover == Cover::halfTransparent) {
        // Set while it is hidden: a compositing manager may miss a change made as it takes a new window in.
        painter_.hide(above);
        painter_.setOpacity(above, 0.5);
        painter_.show(above);
    }
    // Over ours, away from the hole: the cover itself, or black.
    const int overlapX = 550;
    const int overlapY = 400;
    if (covering.cover == Cover::lowered) {
        ASSERT_TRUE(eventuallyShows(overlapX, overlapY, coverColour)) << "the cover, while it is above ours";
        painter_.raise(marked);
    }
    if (covering.showsTheCover) {
        EXPECT_TRUE(eventuallyShows(overlapX, overlapY, coverColour)) << "the cover, where it hides ours";
    } else {
        EXPECT_EQ(colouredAmong(60), 0U);
        EXPECT_EQ(brightnessAt(overlapX, overlapY), 16) << "black, where ours might show through";
    }
    EXPECT_EQ(brightnessAt(300, 300), 16) << "black, where ours is not covered";
    if (covering.showsTheCover) {
        EXPECT_EQ(brightnessAt(650, 300), bt709(coverColour)[0]) << "the cover, beyond ours";
    }
    if (covering.cover == Cover::holed) {
        EXPECT_EQ(brightnessAt(450, 300), 16) << "black, through the hole";
    }
    if (covering.showsTheCover) {
        painter_.hide(marked);
        EXPECT_TRUE(eventuallyShows(300, 300, desktop)) << "where ours was, once it has gone";
        EXPECT_EQ(brightnessAt(overlapX, overlapY), bt709(coverColour)[0]) << "the cover, where it hid ours";
    }
    EXPECT_EQ(framesWithColour(), 0U) << "frames with ours showing, of " << frames();
}

INSTANTIATE_TEST_SUITE_P(
    Covers, CoveredWindow,
    ::testing::Values(Covering{"opaque", "", Cover::opaque, true}, Covering{"holed", "", Cover::holed, false},
                      Covering{"lowered", "", Cover::lowered, false},
                      Covering{"opaqueComposited", "picom", Cover::opaque, true},
                      Covering{"halfTransparentComposited", "picom", Cover::halfTransparent, false},
                      Covering{"dimmedByTheCompositor", "picom", Cover::dimmedByCompositor, false},
                      Covering{"loweredComposited", "picom", Cover::lowered, false},
                      Covering{"holedComposited", "picom", Cover::holed, false},
                      Covering{"opaqueUnderXcompmgr", "xcompmgr", Cover::opaque, true},
                      Covering{"halfTransparentUnderXcompmgr", "xcompmgr", Cover::halfTransparent, false}),
    [](const ::testing::TestParamInfo<Covering>& covering) { return covering.param.name; });

} // namespace
} // namespace orvik::helper::x11test
