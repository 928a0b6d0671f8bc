// The overlay on a real X server: what another client sees on the screen, where clicks go, who has focus.
// Each suite runs under tests/support/run-with-xvfb with the desktop it names (see CMakeLists.txt).
#include "OverlayTestSupport.hpp"
#include "overlay/OverlayController.hpp"
#include "overlay/OverlayView.hpp"
#include "overlay/X11CompositingProbe.hpp"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

#include <cmath>

namespace orvik::helper {
namespace {

using testing::clickLeftButton;
using testing::eventually;
using testing::movePointer;
using testing::near;
using testing::pixelAt;
using testing::processEventsFor;

const QColor white(255, 255, 255);
const QColor red(255, 59, 48);
const QColor aurora(35, 213, 171);

// Where `base` ends up under `colour` drawn with `alpha`.
QColor blended(QColor base, QColor colour, double alpha) {
    auto mix = [&](int under, int over) { return int(std::lround(under * (1 - alpha) + over * alpha)); };
    return QColor(mix(base.red(), colour.red()), mix(base.green(), colour.green()), mix(base.blue(), colour.blue()));
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

HelperPreferences preferencesWith(HelperPreferences::OverlayColor color, HelperPreferences::OverlaySize size) {
    HelperPreferences preferences;
    preferences.overlayColor = color;
    preferences.overlaySize = size;
    return preferences;
}

class OverlayOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(eventually([&] { return near(pixelAt(10, 10), white); })) << "the backdrop never showed";
        movePointer(600, 400);
    }

    OverlayController makeController() {
        return OverlayController([this] { return preferences; }, [this] { return now; });
    }
    bool showsAt(int x, int y, QColor colour, int tolerance = 3) {
        return eventually([&] { return near(pixelAt(x, y), colour, tolerance); });
    }

    HelperPreferences preferences =
        preferencesWith(HelperPreferences::OverlayColor::red, HelperPreferences::OverlaySize::medium);
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

TEST_F(OverlayComposited, OffBeforeAnyOtherModeMakesNoPanel) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::off);
    EXPECT_EQ(overlay.panel(), nullptr);
    EXPECT_FALSE(overlay.isTracking());
}

TEST_F(OverlayComposited, TheLaserDrawsTheDotAndItsGlowAtThePointer) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::laser);

    ASSERT_TRUE(showsAt(600, 400, red));
    EXPECT_TRUE(near(pixelAt(600 + 24, 400), blended(blended(white, red, 0.08), red, 0.16), 4));
    EXPECT_TRUE(near(pixelAt(600, 400 - 30), blended(white, red, 0.08), 4));
    EXPECT_TRUE(near(pixelAt(600 + 40, 400), white));
    EXPECT_TRUE(near(pixelAt(5, 5), white));
    EXPECT_EQ(overlay.panel()->backing(), OverlayView::Backing::translucent);
}

TEST_F(OverlayComposited, SettingTheLaserTwiceKeepsOnePanelAndOneTimer) {
    auto overlay = makeController();
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

TEST_F(OverlayComposited, TheDotFollowsThePointer) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::laser);
    ASSERT_TRUE(showsAt(600, 400, red));

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

TEST_F(OverlayComposited, AStillLaserDotHidesAfterTheIdleTimeAndComesBackOnMovement) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::laser);
    ASSERT_TRUE(showsAt(600, 400, red));

    now += 3.0; // exactly the idle time: still shown
    processEventsFor(std::chrono::milliseconds(100));
    EXPECT_TRUE(near(pixelAt(600, 400), red));
    now += 0.01;
    EXPECT_TRUE(showsAt(600, 400, white));
    EXPECT_TRUE(overlay.panel()->isDotHidden());

    movePointer(620, 410);
    EXPECT_TRUE(showsAt(620, 410, red));
}

TEST_F(OverlayComposited, ColourAndSizeAreReadWhenAModeIsSet) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::laser);
    ASSERT_TRUE(showsAt(600, 400, red));

    preferences.overlayColor = HelperPreferences::OverlayColor::aurora;
    processEventsFor(std::chrono::milliseconds(100));
    EXPECT_TRUE(near(pixelAt(600, 400), red));

    overlay.setMode(OverlayMode::laser);
    EXPECT_TRUE(showsAt(600, 400, aurora));
}

TEST_F(OverlayComposited, ClicksGoThroughTheOverlayToTheWindowBelow) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::laser);
    ASSERT_TRUE(showsAt(600, 400, red));

    clickLeftButton();

    EXPECT_TRUE(eventually([&] { return backdrop.presses == 1; }));
}

class OverlayWithoutCompositor : public OverlayOnX11 {
protected:
    void SetUp() override {
        ASSERT_FALSE(X11CompositingProbe().isCompositing()) << "a compositor runs";
        OverlayOnX11::SetUp();
    }
};

TEST_F(OverlayWithoutCompositor, TheLaserIsAnOpaqueDotOfTheWindowsShapeAndNothingElseIsCovered) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::laser);

    ASSERT_TRUE(showsAt(600, 400, red));
    EXPECT_EQ(overlay.panel()->backing(), OverlayView::Backing::shaped);
    EXPECT_TRUE(near(pixelAt(600 + 7, 400), red));
    EXPECT_TRUE(near(pixelAt(600 + 12, 400), white)); // no glow, and no black either
    EXPECT_TRUE(near(pixelAt(5, 5), white));

    movePointer(300, 200);
    EXPECT_TRUE(showsAt(300, 200, red));
    EXPECT_TRUE(showsAt(600, 400, white));
}

TEST_F(OverlayWithoutCompositor, AHiddenDotLeavesNothingOnTheScreen) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::laser);
    ASSERT_TRUE(showsAt(600, 400, red));
    now += 5;
    EXPECT_TRUE(showsAt(600, 400, white));
    EXPECT_TRUE(near(pixelAt(0, 0), white));
}

TEST_F(OverlayWithoutCompositor, TheSpotlightDarkensEverythingButTheHole) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::spotlight);

    ASSERT_TRUE(showsAt(5, 5, Qt::black));
    EXPECT_TRUE(near(pixelAt(600, 400), white));
    EXPECT_TRUE(near(pixelAt(600 + 100, 400), white));
    EXPECT_TRUE(near(pixelAt(600 + 120, 400), Qt::black));
}

TEST_F(OverlayWithoutCompositor, ClicksOnTheDotGoToTheWindowBelow) {
    auto overlay = makeController();
    overlay.setMode(OverlayMode::laser);
    ASSERT_TRUE(showsAt(600, 400, red));

    clickLeftButton();

    EXPECT_TRUE(eventually([&] { return backdrop.presses == 1; }));
}

// A slide show in full screen under a real window manager (openbox) with a compositor.
class OverlayOverFullScreen : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(eventually([] { return X11CompositingProbe().isCompositing(); })) << "no compositor";
        movePointer(640, 400);
    }

    testing::ReportingProgram startSlideShow(bool bypassWindowManager = false) {
        if (bypassWindowManager) return testing::ReportingProgram({ORVIK_TEST_SLIDE_SHOW, "--bypass-window-manager"});
        return testing::ReportingProgram({ORVIK_TEST_SLIDE_SHOW});
    }

    HelperPreferences preferences =
        preferencesWith(HelperPreferences::OverlayColor::red, HelperPreferences::OverlaySize::medium);
    const QColor green{0, 128, 0};
};

TEST_F(OverlayOverFullScreen, TheDotShowsOverTheSlideShowWhichKeepsFocusAndClicks) {
    auto slideShow = startSlideShow();
    ASSERT_TRUE(eventually([&] { return slideShow.hasPrinted("ready"); }));
    ASSERT_TRUE(eventually([&] { return near(pixelAt(640, 400), green); }));
    auto focus = testing::focusedWindow();

    OverlayController overlay([this] { return preferences; });
    overlay.setMode(OverlayMode::laser);

    EXPECT_TRUE(eventually([&] { return near(pixelAt(640, 400), red); }));
    EXPECT_TRUE(near(pixelAt(640, 400 - 30), blended(green, red, 0.08), 4));
    EXPECT_EQ(testing::focusedWindow(), focus);

    clickLeftButton();
    EXPECT_TRUE(eventually([&] { return slideShow.hasPrinted("press 640 400"); }));
    processEventsFor(std::chrono::milliseconds(200));
    EXPECT_FALSE(slideShow.hasPrinted("focus-out"));
    EXPECT_EQ(testing::focusedWindow(), focus);
}

TEST_F(OverlayOverFullScreen, AWindowStackedAboveTheOverlayIsCoveredAgain) {
    OverlayController overlay([this] { return preferences; });
    overlay.setMode(OverlayMode::spotlight);
    QColor dimmedGreen = blended(green, Qt::black, 0.7);

    // A window made after the overlay starts above it; the overlay raises itself back on top.
    auto slideShow = startSlideShow(true);
    ASSERT_TRUE(eventually([&] { return slideShow.hasPrinted("shown"); }));
    EXPECT_TRUE(eventually([&] { return near(pixelAt(5, 5), dimmedGreen); }));
    EXPECT_TRUE(near(pixelAt(640, 400), green));
}

} // namespace
} // namespace orvik::helper

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
