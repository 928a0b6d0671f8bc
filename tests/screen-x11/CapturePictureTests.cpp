#include "CaptureFixture.hpp"
#include "screen/x11/BgrxToI420.hpp"
#include "screen/x11/CaptureGeometry.hpp"
#include "screen/x11/CapturePacer.hpp"

#include "WaitUntil.hpp"
#include "X11RootSize.hpp"

#include <X11/extensions/Xrandr.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <variant>

namespace orvik::helper::x11test {
namespace {

constexpr PixelRect wholeScreen{0, 0, 1920, 1080};

struct SourceCase {
    PixelRect monitor;
    NormalizedRect region;
    PixelRect expected;
};

class SourceRect : public ::testing::TestWithParam<SourceCase> {};

TEST_P(SourceRect, theRegionCoversWholePixelsOfItsMonitor) {
    EXPECT_EQ(CaptureGeometry::sourceRect(GetParam().monitor, GetParam().region), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Regions, SourceRect,
                         ::testing::Values(SourceCase{wholeScreen, NormalizedRect::full(), wholeScreen},
                                           SourceCase{
                                               {1920, 56, 1280, 1024}, {0.5, 0.5, 0.5, 0.5}, {2560, 568, 640, 512}},
                                           SourceCase{wholeScreen, {0.9, 0.9, 0.5, 0.5}, {960, 540, 960, 540}},
                                           SourceCase{{0, 0, 20, 20}, {0.5, 0.5, 0.05, 0.05}, {10, 10, 2, 2}},
                                           SourceCase{wholeScreen, {std::nan(""), 0, 1, 1}, wholeScreen}));

struct FitCase {
    int sourceWidth, sourceHeight, outputWidth, outputHeight;
    PixelRect expected;
};

class Fitted : public ::testing::TestWithParam<FitCase> {};

TEST_P(Fitted, thePictureKeepsItsAspectCentredOnEvenEdges) {
    const auto& param = GetParam();
    EXPECT_EQ(CaptureGeometry::fitted(param.sourceWidth, param.sourceHeight, param.outputWidth, param.outputHeight),
              param.expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Fitted,
                         ::testing::Values(FitCase{1920, 1080, 1280, 720, {0, 0, 1280, 720}},
                                           FitCase{1366, 768, 1000, 562, {0, 0, 1000, 562}},
                                           FitCase{1920, 1080, 640, 640, {0, 140, 640, 360}},
                                           FitCase{96, 96, 160, 100, {32, 2, 96, 96}},
                                           FitCase{1280, 720, 1920, 1080, {320, 180, 1280, 720}},
                                           FitCase{1080, 1920, 320, 180, {108, 0, 102, 180}}));

TEST(CapturePacer, firstAtOnceThenPacedChangesAndASecondlyRefresh) {
    CapturePacer pacer(50); // 20 ms
    EXPECT_EQ(pacer.nextFrameAt(), 0U);
    pacer.frameTaken(1'000'000'000);
    EXPECT_EQ(pacer.nextFrameAt(), 2'000'000'000U) << "a still screen is refreshed after a second";
    pacer.markChanged();
    EXPECT_EQ(pacer.nextFrameAt(), 1'020'000'000U) << "a change waits for the frame interval";
    pacer.setFrameRate(0);
    EXPECT_EQ(pacer.nextFrameAt(), 2'000'000'000U) << "a rate below 1 counts as 1";
}

// Scaled pictures go through swscale, pictures at the screen's size through our own kernel: both must agree.
class CaptureColour : public CaptureFixture,
                      public ::testing::WithParamInterface<std::tuple<unsigned long, std::pair<int, int>>> {};

TEST_P(CaptureColour, aScreenOfOneColourArrivesAsItsBt709LimitedRangeValues) {
    const auto [rgb, size] = GetParam();
    const auto [width, height] = size;
    Painter painter;
    painter.window(wholeScreen, rgb);
    X11CaptureSource source;
    FrameLog log;
    ASSERT_EQ(start(source, configuration(width, height), log), std::nullopt);
    auto picture = log.next();
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width(), width);
    EXPECT_EQ(picture->height(), height);
    for (auto [x, y] : {std::pair{0, 0}, {width / 2, height / 2}, {width - 20, 20}}) {
        expectNear(sample(*picture, x, y), bt709(rgb), 2, "at " + std::to_string(x) + "," + std::to_string(y));
    }
    EXPECT_TRUE(stop(source));
}

INSTANTIATE_TEST_SUITE_P(Colours, CaptureColour,
                         ::testing::Combine(::testing::Values(0xFF0000UL, 0x00FF00UL, 0x0000FFUL, 0xFFFFFFUL,
                                                              0x000000UL, 0x808080UL),
                                            ::testing::Values(std::pair{320, 180}, std::pair{1920, 1080})));

TEST(BgrxToI420, chromaIsTheMeanOfItsFourPixels) {
    // Two rows of two pixels: red, green / blue, white.
    const std::uint8_t bgrx[] = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0};
    PixelBuffer picture(2, 2);
    BgrxToI420::convert(bgrx, 8, 2, 0, 2, picture, 0, 0);
    EXPECT_NEAR(picture.plane(0)[1], bt709(0x00FF00)[0], 1);
    EXPECT_NEAR(picture.plane(0)[picture.stride(0)], bt709(0x0000FF)[0], 1);
    EXPECT_NEAR(picture.plane(1)[0], 128, 1) << "the four pixels average to grey";
    EXPECT_NEAR(picture.plane(2)[0], 128, 1);
}

class CapturePicture : public CaptureFixture {};

TEST_F(CapturePicture, aRegionCapturesOnlyItsPartOfTheMonitor) {
    Painter painter;
    painter.window({0, 0, 960, 1080}, 0xFF0000);
    painter.window({960, 0, 960, 1080}, 0x0000FF);
    X11CaptureSource source;
    FrameLog log;
    ASSERT_EQ(start(source, configuration(480, 540, 30, {0.5, 0, 0.5, 1}), log), std::nullopt);
    auto picture = log.next();
    ASSERT_TRUE(picture);
    for (auto [x, y] : {std::pair{0, 0}, {2, 270}, {460, 520}}) {
        expectNear(sample(*picture, x, y), bt709(0x0000FF), 4, "at " + std::to_string(x) + "," + std::to_string(y));
    }
    EXPECT_TRUE(stop(source));
}

TEST_F(CapturePicture, anOutputOfAnotherAspectIsLetterboxedWithBlackBars) {
    Painter painter;
    painter.window(wholeScreen, 0xFFFFFF);
    X11CaptureSource source;
    FrameLog log;
    ASSERT_EQ(start(source, configuration(640, 640), log), std::nullopt);
    auto picture = log.next();
    ASSERT_TRUE(picture);
    const Yuv black{16, 128, 128};
    expectNear(sample(*picture, 320, 10), black, 0, "top bar");
    expectNear(sample(*picture, 320, 630), black, 0, "bottom bar");
    expectNear(sample(*picture, 320, 320), bt709(0xFFFFFF), 3, "picture");
    expectNear(sample(*picture, 320, 142), bt709(0xFFFFFF), 3, "first picture row");
    EXPECT_TRUE(stop(source));
}

TEST_F(CapturePicture, thePointerIsDrawnIntoThePicture) {
    Painter painter;
    painter.window(wholeScreen, 0x808080);
    painter.warpPointer(400, 300);
    X11CaptureSource source;
    FrameLog log;
    ASSERT_EQ(start(source, configuration(1920, 1080), log), std::nullopt);
    auto picture = log.next();
    ASSERT_TRUE(picture);
    int differing = 0;
    for (int y = 280; y < 320; ++y) {
        for (int x = 380; x < 420; ++x) differing += std::abs(sample(*picture, x, y)[0] - bt709(0x808080)[0]) > 40;
    }
    EXPECT_GT(differing, 10) << "pixels of the pointer around 400,300";
    EXPECT_EQ(sample(*picture, 1000, 800)[0], bt709(0x808080)[0]) << "far from the pointer";
    EXPECT_TRUE(stop(source));
}

TEST_F(CapturePicture, ourWindowsArePaintedBlackAndOthersAreNot) {
    Painter painter;
    painter.window(wholeScreen, 0xFFFFFF);
    painter.window({100, 100, 400, 300}, 0xFF0000, getpid());
    const Window marked = painter.window({1000, 500, 300, 200}, 0x00FF00);
    painter.markExcluded(marked, true);
    painter.window({100, 600, 400, 300}, 0x0000FF, getpid() + 1);
    X11CaptureSource source;
    FrameLog log;
    ASSERT_EQ(start(source, configuration(1920, 1080), log), std::nullopt);
    auto picture = log.next();
    ASSERT_TRUE(picture);
    const Yuv black{16, 128, 128};
    expectNear(sample(*picture, 300, 250), black, 2, "window with our pid");
    expectNear(sample(*picture, 1150, 600), black, 2, "window carrying the exclusion property");
    expectNear(sample(*picture, 300, 750), bt709(0x0000FF), 3, "another process's window");
    expectNear(sample(*picture, 800, 300), bt709(0xFFFFFF), 3, "background");

    painter.markExcluded(marked, false);
    painter.recolour(marked, 0x00FF00);
    picture = log.next(2);
    ASSERT_TRUE(picture);
    expectNear(sample(*picture, 1150, 600), bt709(0x00FF00), 3, "window no longer carrying the property");
    EXPECT_TRUE(stop(source));
}

// Sets a RandR monitor of this name (a client-defined one, as `xrandr --setmonitor` makes); the root keeps its size.
// One already set is replaced under a server grab, so no one sees it gone in between.
void setMonitor(const char* name, const PixelRect& rect, bool replace = false) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_TRUE(display);
    XGrabServer(display);
    const Atom atom = XInternAtom(display, name, False);
    if (replace) XRRDeleteMonitor(display, DefaultRootWindow(display), atom);
    XRRMonitorInfo* monitor = XRRAllocateMonitor(display, 0);
    monitor->name = atom;
    monitor->x = rect.x;
    monitor->y = rect.y;
    monitor->width = rect.width;
    monitor->height = rect.height;
    XRRSetMonitor(display, DefaultRootWindow(display), monitor);
    XUngrabServer(display);
    XSync(display, False);
    XRRFreeMonitors(monitor);
    XCloseDisplay(display);
}

TEST_F(CapturePicture, aMonitorThatMovesWithoutAScreenResizeIsFollowed) {
    Painter painter;
    painter.window(wholeScreen, 0xFF0000);
    painter.window({1280, 720, 640, 360}, 0x0000FF);
    setMonitor("ORVIK-SIDE", {0, 0, 640, 360});
    X11CaptureSource source;
    FrameLog log;
    const CaptureConfiguration side{DisplayIdentifiers::idForName("ORVIK-SIDE"), 320, 180, 30, NormalizedRect::full()};
    ASSERT_EQ(start(source, side, log), std::nullopt);
    auto picture = log.next();
    ASSERT_TRUE(picture);
    expectNear(sample(*picture, 160, 90), bt709(0xFF0000), 3, "where the monitor was");

    setMonitor("ORVIK-SIDE", {1280, 720, 640, 360}, true);
    EXPECT_TRUE(test::waitUntil([&] {
        picture = log.next();
        return picture && std::abs(sample(*picture, 160, 90)[2] - bt709(0x0000FF)[2]) <= 3;
    })) << "the picture shows where the monitor is now";
    EXPECT_TRUE(stop(source));
}

TEST_F(CapturePicture, aMonitorReachingPastTheRootIsListedAndCapturedAsFarAsItIsOnTheRoot) {
    Painter painter;
    painter.window(wholeScreen, 0xFF0000);
    painter.window({1280, 720, 640, 360}, 0x0000FF);
    setMonitor("ORVIK-PAST", {1280, 720, 1280, 720});
    const auto id = DisplayIdentifiers::idForName("ORVIK-PAST");
    auto listed = X11CaptureSource::listDisplays({});
    auto* displays = std::get_if<std::vector<ScreenDisplay>>(&listed);
    ASSERT_TRUE(displays);
    auto past = std::find_if(displays->begin(), displays->end(), [&](const auto& display) { return display.id == id; });
    ASSERT_NE(past, displays->end());
    EXPECT_EQ(past->pixelWidth, 640);
    EXPECT_EQ(past->pixelHeight, 360);

    X11CaptureSource source;
    FrameLog log;
    ASSERT_EQ(start(source, {id, 320, 180, 30, NormalizedRect::full()}, log), std::nullopt);
    auto picture = log.next();
    ASSERT_TRUE(picture) << "frames come although the monitor reaches past the root";
    expectNear(sample(*picture, 160, 90), bt709(0x0000FF), 3, "the monitor's part on the root");
    EXPECT_TRUE(stop(source));
}

TEST_F(CapturePicture, afterTheRootShrinksTheScreenIsShownUnscaledInTheMiddleOfThePicture) {
    Painter painter;
    painter.window(wholeScreen, 0xFF0000);
    X11CaptureSource source;
    FrameLog log;
    ASSERT_EQ(start(source, configuration(1920, 1080), log), std::nullopt);
    ASSERT_TRUE(log.next());

    ASSERT_TRUE(orvik::test::setRootSize(1280, 720));
    std::shared_ptr<PixelBuffer> picture;
    EXPECT_TRUE(test::waitUntil([&] {
        picture = log.next();
        return picture && sample(*picture, 100, 100)[0] == 16;
    })) << "a black border, not the screen scaled up";
    ASSERT_TRUE(picture);
    expectNear(sample(*picture, 330, 190), bt709(0xFF0000), 3, "the screen's top-left corner at 320,180");
    expectNear(sample(*picture, 1590, 890), bt709(0xFF0000), 3, "its bottom-right corner");
    expectNear(sample(*picture, 1610, 910), {16, 128, 128}, 0, "beyond it");
    EXPECT_TRUE(stop(source));
}

} // namespace
} // namespace orvik::helper::x11test
