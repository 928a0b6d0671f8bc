// The overlay on a real X server: what another client sees on the screen, where clicks go, who has focus.
// Each suite runs under tests/support/run-with-xvfb with the desktop it names (see CMakeLists.txt).
#include "ChildProcess.hpp"
#include "WaitUntil.hpp"
#include "overlay/OverlayController.hpp"
#include "overlay/OverlayView.hpp"
#include "overlay/X11CompositingProbe.hpp"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

// Last: Xlib's macros (None, Bool, Status) would change names in the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <thread>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

const QColor white(255, 255, 255);
const QColor red(255, 59, 48);
const QColor aurora(35, 213, 171);
const QColor green(0, 128, 0);

// Processes Qt events for a while (between polls, and for checks that something stays as it is).
void processEventsFor(std::chrono::milliseconds duration) {
    auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(2ms);
    }
}

// Waits for the X server and other processes while the overlay's own events go on.
bool eventually(const std::function<bool()>& condition) {
    return orvik::test::waitUntil(condition, 10s, [] { processEventsFor(20ms); });
}

// The screen as another client sees it (the root window, as composited when a compositor runs).
QColor pixelAt(int x, int y) {
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().pixelColor(x, y);
}

bool near(QColor actual, QColor expected, int tolerance = 3) {
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

bool showsAt(int x, int y, QColor colour, int tolerance = 3) {
    return eventually([&] { return near(pixelAt(x, y), colour, tolerance); });
}

// Where `base` ends up under `colour` drawn with `alpha`.
QColor blended(QColor base, QColor colour, double alpha) {
    auto mix = [&](int under, int over) { return int(std::lround(under * (1 - alpha) + over * alpha)); };
    return QColor(mix(base.red(), colour.red()), mix(base.green(), colour.green()), mix(base.blue(), colour.blue()));
}

// A short-lived connection of the test's own, as another client would have.
template <class Call> auto onTestDisplay(Call call) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) throw std::runtime_error("cannot open the display");
    auto result = call(display);
    XSync(display, False);
    XCloseDisplay(display);
    return result;
}

// The real pointer moved, and the left button pressed and released, as a user would (XTest).
void movePointer(int x, int y) {
    onTestDisplay(
        [&](Display* display) { return XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime); });
}
void clickLeftButton() {
    onTestDisplay([](Display* display) {
        return XTestFakeButtonEvent(display, 1, True, CurrentTime) &&
               XTestFakeButtonEvent(display, 1, False, CurrentTime);
    });
}
Window focusedWindow() {
    return onTestDisplay([](Display* display) {
        Window focus = None;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        return focus;
    });
}

// A plain white window over the whole screen that counts the presses reaching it.
class Backdrop final : public QWidget {
public:
    Backdrop() {
        setGeometry(QGuiApplication::primaryScreen()->geometry());
        show();
    }
    int presses = 0;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::white); }
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

class OverlayOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(eventually([&] { return near(pixelAt(10, 10), white); })) << "the backdrop never showed";
        movePointer(600, 400);
        preferences.overlayColor = HelperPreferences::OverlayColor::red;
    }

    OverlayController makeController() {
        return OverlayController([this] { return preferences; }, [this] { return now; });
    }

    HelperPreferences preferences;
    double now = 100;
    Backdrop backdrop;
};

class OverlayComposited : public OverlayOnX11 {
protected:
    void SetUp() override {
        ASSERT_TRUE(eventually([] { return X11CompositingProbe().isCompositing(); })) << "no compositor";
        OverlayOnX11::SetUp();
    }
};

TEST_F(OverlayComposited, ThereIsOnePanelAtMostAndOffStopsItsTimer) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::off);
    EXPECT_EQ(overlay.panel(), nullptr) << "off before any other mode makes no panel";
    EXPECT_FALSE(overlay.isTracking());

    overlay.setMode(OverlayMode::laser);
    auto* panel = overlay.panel();
    overlay.setMode(OverlayMode::laser);
    EXPECT_EQ(overlay.panel(), panel);
    EXPECT_TRUE(overlay.isTracking());
    overlay.setMode(OverlayMode::off);
    EXPECT_FALSE(overlay.isTracking());
    EXPECT_EQ(overlay.panel(), panel);
    EXPECT_TRUE(showsAt(600, 400, white));
}

TEST_F(OverlayComposited, TheLaserDrawsTheDotWithItsGlowAtThePointerFollowsItAndLetsClicksThrough) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::laser);

    ASSERT_TRUE(showsAt(600, 400, red));
    EXPECT_TRUE(near(pixelAt(600 + 24, 400), blended(blended(white, red, 0.08), red, 0.16), 4));
    EXPECT_TRUE(near(pixelAt(600, 400 - 30), blended(white, red, 0.08), 4));
    EXPECT_TRUE(near(pixelAt(600 + 40, 400), white));
    EXPECT_TRUE(near(pixelAt(5, 5), white));
    EXPECT_EQ(overlay.panel()->backing(), OverlayView::Backing::translucent);

    clickLeftButton();
    EXPECT_TRUE(eventually([&] { return backdrop.presses == 1; }));

    movePointer(900, 250);
    EXPECT_TRUE(showsAt(900, 250, red));
    EXPECT_TRUE(showsAt(600, 400, white));
}

TEST_F(OverlayComposited, TheSpotlightDimsAllButAHoleAroundThePointer) {
    preferences.overlaySize = HelperPreferences::OverlaySize::large; // hole radius 165
    auto overlay = makeController();
    overlay.setMode(OverlayMode::spotlight);

    QColor dimmed = blended(white, Qt::black, 0.7);
    ASSERT_TRUE(showsAt(5, 5, dimmed));
    EXPECT_TRUE(near(pixelAt(600, 400), white));
    EXPECT_TRUE(near(pixelAt(600 + 160, 400), white));
    EXPECT_TRUE(near(pixelAt(600, 400 + 170), dimmed));
    EXPECT_TRUE(near(pixelAt(1270, 790), dimmed));
}

TEST_F(OverlayComposited, AStillLaserDotHidesAfterTheIdleTimeComesBackOnMovementAndTakesANewColourWithAMode) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::laser);
    ASSERT_TRUE(showsAt(600, 400, red));

    now += 3.0; // exactly the idle time: still shown
    processEventsFor(100ms);
    EXPECT_TRUE(near(pixelAt(600, 400), red));
    now += 0.01;
    EXPECT_TRUE(showsAt(600, 400, white));
    EXPECT_TRUE(overlay.panel()->isDotHidden());

    movePointer(620, 410);
    EXPECT_TRUE(showsAt(620, 410, red));

    // The colour is read when a mode is set, not while it runs.
    preferences.overlayColor = HelperPreferences::OverlayColor::aurora;
    processEventsFor(100ms);
    EXPECT_TRUE(near(pixelAt(620, 410), red));
    overlay.setMode(OverlayMode::laser);
    EXPECT_TRUE(showsAt(620, 410, aurora));
}

class OverlayWithoutCompositor : public OverlayOnX11 {
protected:
    void SetUp() override {
        ASSERT_FALSE(X11CompositingProbe().isCompositing()) << "a compositor runs";
        OverlayOnX11::SetUp();
    }
};

TEST_F(OverlayWithoutCompositor, TheLaserIsAShapedDotThatClicksGoThroughAndHidesWithoutTraceAndTheSpotlightIsBlack) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::laser);

    ASSERT_TRUE(showsAt(600, 400, red));
    EXPECT_EQ(overlay.panel()->backing(), OverlayView::Backing::shaped);
    EXPECT_TRUE(near(pixelAt(600 + 7, 400), red));
    EXPECT_TRUE(near(pixelAt(600 + 12, 400), white)); // no glow, and no black either
    EXPECT_TRUE(near(pixelAt(5, 5), white));

    clickLeftButton();
    EXPECT_TRUE(eventually([&] { return backdrop.presses == 1; }));

    movePointer(300, 200);
    EXPECT_TRUE(showsAt(300, 200, red));
    EXPECT_TRUE(showsAt(600, 400, white));

    now += 5; // a hidden dot leaves nothing on the screen
    EXPECT_TRUE(showsAt(300, 200, white));
    EXPECT_TRUE(near(pixelAt(0, 0), white));

    overlay.setMode(OverlayMode::spotlight); // darkens everything but the hole
    ASSERT_TRUE(showsAt(5, 5, Qt::black));
    EXPECT_TRUE(near(pixelAt(300, 200), white));
    EXPECT_TRUE(near(pixelAt(300 + 100, 200), white));
    EXPECT_TRUE(near(pixelAt(300 + 120, 200), Qt::black));
}

// A slide show in full screen under a real window manager (openbox) with a compositor; it reports what it sees
// on its standard output (see SlideShowWindow.cpp).
class OverlayOverFullScreen : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(eventually([] { return X11CompositingProbe().isCompositing(); })) << "no compositor";
        movePointer(640, 400);
        preferences.overlayColor = HelperPreferences::OverlayColor::red;
    }

    // Whether the slide show has printed `line` by now.
    bool slideShowPrinted(const std::string& line) {
        while (auto next = slideShow->readLine(0ms)) printed.push_back(*next);
        return std::find(printed.begin(), printed.end(), line) != printed.end();
    }

    HelperPreferences preferences;
    std::unique_ptr<orvik::test::ChildProcess> slideShow;
    std::vector<std::string> printed;
};

TEST_F(OverlayOverFullScreen, TheDotShowsOverTheSlideShowWhichKeepsFocusAndClicks) {
    slideShow = std::make_unique<orvik::test::ChildProcess>(std::vector<std::string>{ORVIK_TEST_SLIDE_SHOW});
    ASSERT_TRUE(eventually([&] { return slideShowPrinted("ready"); }));
    ASSERT_TRUE(eventually([&] { return near(pixelAt(640, 400), green); }));
    auto focus = focusedWindow();

    OverlayController overlay([this] { return preferences; });
    overlay.setMode(OverlayMode::laser);

    EXPECT_TRUE(eventually([&] { return near(pixelAt(640, 400), red); }));
    EXPECT_TRUE(near(pixelAt(640, 400 - 30), blended(green, red, 0.08), 4));
    EXPECT_EQ(focusedWindow(), focus);

    clickLeftButton();
    EXPECT_TRUE(eventually([&] { return slideShowPrinted("press 640 400"); }));
    processEventsFor(200ms);
    EXPECT_FALSE(slideShowPrinted("focus-out"));
    EXPECT_EQ(focusedWindow(), focus);
}

TEST_F(OverlayOverFullScreen, AWindowStackedAboveTheOverlayIsCoveredAgain) {
    OverlayController overlay([this] { return preferences; });
    overlay.setMode(OverlayMode::spotlight);

    // A window made after the overlay starts above it; the overlay raises itself back on top.
    slideShow = std::make_unique<orvik::test::ChildProcess>(
        std::vector<std::string>{ORVIK_TEST_SLIDE_SHOW, "--bypass-window-manager"});
    ASSERT_TRUE(eventually([&] { return slideShowPrinted("shown"); }));
    EXPECT_TRUE(eventually([&] { return near(pixelAt(5, 5), blended(green, Qt::black, 0.7)); }));
    EXPECT_TRUE(near(pixelAt(640, 400), green));
}

} // namespace
} // namespace orvik::helper

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
