// What a marked window leaves behind on the screen after it went: its pixels on a window without a background
// whose program does not repaint, and a compositing manager fading it out.
#include "CaptureFixture.hpp"

#include "ChildProcess.hpp"
#include "WaitUntil.hpp"
#include "screen/x11/MoveCopy.hpp"
#include "screen/x11/VacatedPlaces.hpp"

#include <cmath>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace orvik::helper::x11test {
namespace {

using namespace std::chrono_literals;
using orvik::test::ChildProcess;

constexpr PixelRect marked{200, 200, 400, 300};
constexpr unsigned long grey = 0x808080;

// One test for the table: each test of this program starts an X server of its own.
TEST(VacatedPlaces, keepAPlaceBlackUntilItIsRepaintedAndHeldOut) {
    constexpr std::uint64_t left = 1'000;
    constexpr auto hold = VacatedPlaces::compositorHold;
    struct Case {
        std::string name;
        bool compositing = false;
        std::vector<PixelRect> repainted;
        std::uint64_t at = left;
        std::vector<PixelRect> black;
        PixelRect screen{0, 0, 1920, 1080};
    };
    const PixelRect place{0, 0, 100, 50};
    const Case cases[] = {
        {"not repainted", false, {}, left + 10 * hold, {place}},
        {"repainted", false, {{0, 0, 100, 50}}, left, {}},
        {"repainted in two halves", false, {{0, 0, 50, 50}, {40, 0, 60, 50}}, left, {}},
        {"repainted in the middle",
         false,
         {{40, 10, 20, 30}},
         left,
         {{0, 0, 100, 10}, {0, 40, 100, 10}, {0, 10, 40, 30}, {60, 10, 40, 30}}},
        {"repainted elsewhere", false, {{100, 0, 10, 10}}, left, {place}},
        {"repainted, compositing, held", true, {place}, left + hold - 1, {place}},
        {"repainted, compositing, after the hold", true, {place}, left + hold, {}},
        {"not repainted, compositing, after the hold", true, {}, left + hold, {place}},
        {"partly off the screen", false, {}, left, {{0, 0, 60, 50}}, {0, 0, 60, 1080}},
        {"partly off the screen, repainted on it", false, {{0, 0, 60, 50}}, left, {}, {0, 0, 60, 1080}},
    };
    for (const auto& placeCase : cases) {
        VacatedPlaces places;
        places.setScreen(placeCase.screen);
        places.left(place, left, placeCase.compositing);
        for (const auto& area : placeCase.repainted) places.repainted(area);
        places.settle(placeCase.at);
        EXPECT_EQ(places.pieces(placeCase.at), placeCase.black) << placeCase.name;
        EXPECT_EQ(places.empty(), placeCase.black.empty()) << placeCase.name;
    }
}

bool anyContains(const std::vector<PixelRect>& rects, int x, int y) {
    return std::any_of(rects.begin(), rects.end(), [&](const PixelRect& rect) {
        return x >= rect.x && x < rect.x + rect.width && y >= rect.y && y < rect.y + rect.height;
    });
}

// A window dragged diagonally leaves many places: kept as few stretches of its path, black nowhere off it.
TEST(VacatedPlaces, manyPlacesAreKeptAsFewAlongTheirPath) {
    constexpr int steps = 3 * static_cast<int>(VacatedPlaces::mostPlaces);
    VacatedPlaces places;
    for (int step = 0; step < steps; ++step) places.left({step * 10, step * 10, 100, 50}, 0, true);
    const auto held = places.pieces(0);
    EXPECT_LE(held.size(), VacatedPlaces::mostPlaces);
    for (int step = 0; step < steps; ++step) {
        EXPECT_TRUE(anyContains(held, step * 10 + 50, step * 10 + 25)) << "place " << step << " black";
    }
    EXPECT_FALSE(anyContains(held, 400, 20)) << "above the path";
    EXPECT_FALSE(anyContains(held, 20, 400)) << "below the path";
    const PixelRect all{0, 0, steps * 10 + 100, steps * 10 + 50};
    places.repainted({all.x, all.y, all.width, all.height / 2});
    places.repainted({all.x, all.height / 2, all.width, all.height - all.height / 2});
    EXPECT_TRUE(places.settle(VacatedPlaces::compositorHold - 1)) << "held and never looked at: a look is due";
    EXPECT_EQ(places.pieces(VacatedPlaces::compositorHold - 1), held) << "still held";
    EXPECT_EQ(places.nextSettleAt(), VacatedPlaces::compositorHold);
    EXPECT_TRUE(places.settle(VacatedPlaces::compositorHold));
    EXPECT_TRUE(places.empty());
}

// A place the picture does not reach may come into it (a region changed) while it still fades.
TEST(VacatedPlaces, aHeldPlaceOutOfThePictureStaysHeld) {
    const PixelRect place{100, 0, 50, 50};
    VacatedPlaces places;
    places.left(place, 0, true);
    places.repainted(place);
    const std::vector<std::uint8_t> grey(64 * 64 * 4, 128);
    places.lookedAt(grey.data(), 64 * 4, {0, 0, 64, 64}, 10);
    EXPECT_EQ(places.pieces(10), std::vector<PixelRect>{place});
}

// A place of 64×64 pixels: a pattern (a QR code's black and white squares) faded by `opacity` over `beneath`.
std::vector<std::uint8_t> faded(double opacity, const std::function<int(int, int)>& beneath) {
    std::vector<std::uint8_t> pixels(64 * 64 * 4);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const int pattern = ((x / 8) + (y / 8)) % 2 ? 255 : 0;
            const auto value = std::lround(opacity * pattern + (1 - opacity) * beneath(x, y));
            for (int channel = 0; channel < 3; ++channel) {
                const auto index = (static_cast<std::size_t>(y) * 64 + static_cast<std::size_t>(x)) * 4;
                pixels[index + static_cast<std::size_t>(channel)] = static_cast<std::uint8_t>(value);
            }
        }
    }
    return pixels;
}

TEST(PlacePicture, aPatternShowsHoweverFaintUntilItIsGone) {
    const PixelRect area{0, 0, 64, 64};
    const auto still = [](int, int) { return 128; };
    // Changing content unlike the pattern: stripes of another period.
    const auto video = [](int x, int y) { return (x * 37 + y * 11) % 256; };
    struct Case {
        std::string name;
        double opacity;
        std::function<int(int, int)> beneath;
        bool shows;
        std::vector<PixelRect> blackedOut;
    };
    const Case cases[] = {
        {"whole", 1.0, still, true, {}},
        {"faded to a twentieth over a still screen", 0.05, still, true, {}},
        {"faded to a hundredth over a still screen", 0.01, still, true, {}},
        {"gone from a still screen", 0.0, still, false, {}},
        {"half faded over a changing screen", 0.5, video, true, {}},
        {"gone from a changing screen", 0.0, video, false, {}},
        {"whole, where a picture is black anyway", 1.0, still, false, {{0, 0, 64, 64}}},
        {"whole, a strip of it outside the black", 1.0, still, true, {{8, 0, 56, 64}}},
    };
    const auto shown = faded(1.0, still);
    const auto window = PlacePicture::of(shown.data(), 64 * 4, area, area);
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->flat());
    for (const auto& pictureCase : cases) {
        const auto later = faded(pictureCase.opacity, pictureCase.beneath);
        EXPECT_EQ(window->showsIn(*PlacePicture::of(later.data(), 64 * 4, area, area), pictureCase.blackedOut),
                  pictureCase.shows)
            << pictureCase.name;
    }
    const auto grey = faded(0.0, still);
    EXPECT_TRUE(PlacePicture::of(grey.data(), 64 * 4, area, area)->flat());
    EXPECT_FALSE(PlacePicture::of(grey.data(), 64 * 4, area, {100, 100, 10, 10})) << "outside the picture";
}

// A fade's last steps are too faint to find the window's pattern over a busy background, yet readable once their
// contrast is stretched: the place stays black until it stops changing, or a while after the pattern went.
TEST(VacatedPlaces, aFadesFaintLastStepsStayBlackUntilThePlaceSettles) {
    const PixelRect area{0, 0, 64, 64};
    const auto wallpaper = [](int x, int y) { return (x * 37 + y * 11) % 256; };
    const auto window = faded(1.0, wallpaper);
    constexpr std::uint64_t ms = 1'000'000;
    struct Look {
        std::uint64_t at;
        double opacity;
        int frame; // content beneath: another frame of a changing screen, or the same wallpaper
        bool black;
    };
    struct Case {
        std::string name;
        std::vector<Look> looks;
    };
    const auto frameOf = [&](int frame) {
        return [&wallpaper, frame](int x, int y) { return frame == 0 ? wallpaper(x, y) : (x * 13 + y * frame) % 256; };
    };
    const Case cases[] = {
        {"still background",
         {{33 * ms, 0.03, 0, true}, {66 * ms, 0.0, 0, true}, {99 * ms, 0.0, 0, true}, {170 * ms, 0.0, 0, false}}},
        {"slow steps over a still background",
         {{33 * ms, 0.03, 0, true},
          {66 * ms, 0.02, 0, true},
          {140 * ms, 0.01, 0, true},
          {200 * ms, 0.01, 0, true},
          {300 * ms, 0.0, 0, true},
          {330 * ms, 0.0, 0, true},
          {410 * ms, 0.0, 0, false}}},
        {"changing background",
         {{33 * ms, 0.03, 1, true}, {66 * ms, 0.0, 2, true}, {200 * ms, 0.0, 3, true}, {290 * ms, 0.0, 4, false}}},
    };
    for (const auto& fadeCase : cases) {
        VacatedPlaces places;
        places.left(area, 0, true, PlacePicture::of(window.data(), 64 * 4, area, area));
        places.repainted(area);
        for (const auto& look : fadeCase.looks) {
            const auto picture = faded(look.opacity, frameOf(look.frame));
            places.lookedAt(picture.data(), 64 * 4, area, look.at);
            EXPECT_EQ(places.pieces(look.at).empty(), !look.black) << fadeCase.name << " at " << look.at / ms << " ms";
        }
    }
}

TEST(MoveCopy, whatAMovedWindowShowedOfAPlaceWaitsAtItsNewPlace) {
    struct Case {
        std::string name;
        PixelRect from;
        PixelRect to;
        std::vector<PixelRect> report;
        std::vector<PixelRect> black;
    };
    const PixelRect place{200, 200, 400, 300};
    const PixelRect window{0, 0, 960, 540};
    const PixelRect movedWindow{250, 120, 960, 540};
    const PixelRect strip{200, 200, 50, 300}; // left of the window's new place
    const Case cases[] = {
        {"copied whole", window, movedWindow, {movedWindow}, {strip, {450, 320, 400, 300}}},
        {"copied in two parts",
         window,
         movedWindow,
         {{250, 120, 960, 300}, {250, 420, 960, 240}},
         {{200, 420, 50, 80}, {200, 200, 50, 220}, {450, 320, 400, 100}, {450, 420, 400, 200}}},
        {"copied where the window showed", window, movedWindow, {{250, 120, 500, 540}}, {strip, {450, 320, 300, 300}}},
        {"a drawing beyond the new place", window, movedWindow, {movedWindow, {0, 0, 10, 10}}, {strip}},
        {"a window away from the place", {700, 0, 100, 100}, {800, 0, 100, 100}, {{800, 0, 100, 100}}, {place}},
    };
    for (const auto& copyCase : cases) {
        VacatedPlaces places;
        places.left(place, 0, false);
        MoveCopy copy(copyCase.from, copyCase.to);
        for (const auto& drawn : copyCase.report) copy.add(drawn, places);
        EXPECT_EQ(places.pieces(0), std::vector<PixelRect>{place}) << copyCase.name << ": unchanged until finished";
        copy.finish(places);
        EXPECT_EQ(places.pieces(0), copyCase.black) << copyCase.name;
    }
}

class AfterimageFixture : public WatchingFixture {
protected:
    bool showsWhereItWas(unsigned long rgb) { return eventuallyShows(marked.x + 100, marked.y + 150, rgb); }
};

// While a window of ours shows (a menu), another is shown and moved at once, before the capture has looked at it,
// then closed: every place it held is black only until the screen beneath has been drawn there.
TEST_F(AfterimageFixture, placesHeldBeforeTheFirstLookClearOnceRedrawn) {
    constexpr PixelRect first{100, 100, 200, 150};
    constexpr PixelRect second{500, 250, 200, 150};
    painter_.window({0, 0, 1920, 1080}, grey);
    painter_.window({700, 50, 100, 100}, 0xFF00FF, getpid());
    ASSERT_TRUE(startWatching());
    const Window ours = painter_.windowMovedAtOnce(first, 0xFF00FF, getpid(), second.x, second.y);
    EXPECT_TRUE(eventuallyShows(second.x + 100, second.y + 75, 0x000000)) << "ours, blacked out";
    painter_.destroy(ours);
    EXPECT_TRUE(eventuallyShows(second.x + 100, second.y + 75, grey)) << "where it was last, redrawn";
    EXPECT_TRUE(eventuallyShows(first.x + 100, first.y + 75, grey)) << "where it was first, redrawn";
}

enum class Leave {
    hidden,
    moved,
    closed,
    hiddenThenBeneathMoved // the stopped program's window then moved, what it shows copied along by the server
};

class StoppedProgramBeneath : public AfterimageFixture, public ::testing::WithParamInterface<Leave> {};

// Above a window without a background, what the marked window showed stays on the screen until the program
// beneath repaints it: black as long as that program is stopped, shown again once it has repainted.
TEST_P(StoppedProgramBeneath, aMarkedWindowLeavesNoPixelsOnItUntilItRepaints) {
    painter_.window({0, 0, 1920, 1080}, grey);
    ChildProcess beneath({ORVIK_TEST_BACKGROUNDLESS_WINDOW, "0", "0", "960", "540", "808080"});
    ASSERT_EQ(beneath.readLine(10s), "ready");
    const auto beneathWindow = beneath.readLine(10s);
    ASSERT_TRUE(beneathWindow);
    const Window window = painter_.window(marked, 0xFF00FF);
    painter_.markExcluded(window, true);
    ASSERT_TRUE(startWatching());
    beneath.signal(SIGSTOP);
    switch (GetParam()) {
    case Leave::hidden: painter_.hide(window); break;
    case Leave::moved: painter_.moveTo(window, marked.x + 300, marked.y); break;
    case Leave::closed: painter_.destroy(window); break;
    case Leave::hiddenThenBeneathMoved:
        painter_.hide(window);
        EXPECT_EQ(colouredAmong(3), 0U) << "frames with the marked window's pixels before the move";
        ASSERT_EQ(ChildProcess({"xdotool", "windowmove", *beneathWindow, "250", "120"}).waitForExit(10s), 0);
        break;
    }
    EXPECT_EQ(colouredAmong(30), 0U) << "frames with the marked window's pixels";
    beneath.signal(SIGCONT);
    EXPECT_TRUE(showsWhereItWas(grey)) << "repainted, the place is shown";
}

INSTANTIATE_TEST_SUITE_P(Leaves, StoppedProgramBeneath,
                         ::testing::Values(Leave::hidden, Leave::moved, Leave::closed, Leave::hiddenThenBeneathMoved),
                         [](const ::testing::TestParamInfo<Leave>& leave) {
                             switch (leave.param) {
                             case Leave::hidden: return "hidden";
                             case Leave::moved: return "moved";
                             case Leave::closed: return "closed";
                             case Leave::hiddenThenBeneathMoved: return "hiddenThenTheProgramBeneathMoved";
                             }
                             return "";
                         });

// The fading, shadow and opacity settings of picom's sample configuration; without vsync, which Xvfb lacks.
constexpr char picomConfiguration[] = R"(backend = "xrender";
vsync = false;
fading = true;
fade-in-step = 0.03;
fade-out-step = 0.03;
shadow = true;
shadow-radius = 7;
shadow-offset-x = -7;
shadow-offset-y = -7;
inactive-opacity = 0.8;
frame-opacity = 0.7;
mark-ovredir-focused = true;
use-damage = true;
)";

// A fade of about a second: picom steps the opacity every `fade-delta` milliseconds.
constexpr char slowFade[] = "fade-delta = 30;\n";

std::vector<std::string> compositorCommand(const std::string& name) {
    if (name == "xcompmgr") return {"xcompmgr", "-f"};
    const std::string path = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/picom.conf";
    std::ofstream(path) << picomConfiguration << (name == "picomFadingSlowly" ? slowFade : "");
    return {"picom", "--config", path};
}

class FadingCompositor : public AfterimageFixture, public ::testing::WithParamInterface<std::string> {};

// A compositing manager paints a hidden window on, fading it out, after the X server has hidden it, for as long
// as it is set to. The window slowly faded has a pattern, as a QR code has; the others are of one colour.
TEST_P(FadingCompositor, aMarkedWindowNeverShowsWhileItFadesOut) {
    const bool slowly = GetParam() == "picomFadingSlowly";
    painter_.window({0, 0, 1920, 1080}, grey);
    const Window window = painter_.window(marked, 0xFF00FF);
    if (slowly) painter_.child(window, {100, 75, 200, 150}, 0x00FF00);
    painter_.markExcluded(window, true);
    // White, half transparent: light grey once the compositing manager has faded it in, as it fades in the rest.
    const Window translucent = painter_.window({100, 400, 40, 40}, 0xFFFFFF);
    painter_.setOpacity(translucent, 0.5);
    ChildProcess compositor(compositorCommand(GetParam()));
    ASSERT_TRUE(orvik::test::waitUntil([&] { return painter_.compositing(); }));
    ASSERT_TRUE(startWatching());
    ASSERT_TRUE(eventuallyShows(120, 420, 0xBFBFBF)) << "the compositing manager has faded it in";
    painter_.hide(window);
    EXPECT_EQ(colouredAmong(slowly ? 100 : 40), 0U) << "frames with the marked window's pixels";
    EXPECT_TRUE(showsWhereItWas(grey)) << "faded out, the place is shown";
}

INSTANTIATE_TEST_SUITE_P(Compositors, FadingCompositor, ::testing::Values("picom", "xcompmgr", "picomFadingSlowly"),
                         [](const ::testing::TestParamInfo<std::string>& name) { return name.param; });

} // namespace
} // namespace orvik::helper::x11test
