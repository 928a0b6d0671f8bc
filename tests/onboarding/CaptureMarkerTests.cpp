#include "OnboardingFakes.hpp"
#include "onboarding/OnboardingWindow.hpp"
#include "onboarding/ScreenCaptureExcluded.hpp"
#include "screen/CaptureExclusions.hpp"

#include <QTest>
#include <gtest/gtest.h>

// Xlib's macros after Qt's headers, which they would break.
#include "screen/x11/X11OwnWindows.hpp"

#include <X11/Xatom.h>

#include <algorithm>

namespace orvik::helper::testing {
namespace {

// Notes whether its window was marked when Qt told it it is about to be shown, before Qt maps it.
class WindowSeenAtShow : public QWidget {
public:
    bool markedAtShow = false;

protected:
    void showEvent(QShowEvent* event) override {
        markedAtShow = ScreenCaptureExcluded::isMarked(winId());
        QWidget::showEvent(event);
    }
};

TEST(CaptureMarker, MarksTheWindowBeforeItIsMappedAndOnlyWhileShownInIt) {
    application();
    auto window = std::make_unique<WindowSeenAtShow>();
    auto* marker = new ScreenCaptureExcluded(window.get());
    window->show();
    EXPECT_TRUE(window->markedAtShow);
    delete marker;
    EXPECT_FALSE(ScreenCaptureExcluded::isMarked(window->winId()));

    // The first-run window is marked only while its pairing view shows a code.
    auto model = std::make_shared<FakeOnboardingModel>();
    FakeTiming clock;
    FakeWindows windows;
    OnboardingWindow onboarding(model, windows, {clock.timing(), std::nullopt});
    onboarding.show();
    EXPECT_FALSE(ScreenCaptureExcluded::isMarked(onboarding.winId()));
    model->permission = true;
    model->status = ListenerStatus::ready(1);
    for (int press = 0; press < 3; ++press) QTest::keyClick(&onboarding, Qt::Key_Return);
    EXPECT_TRUE(ScreenCaptureExcluded::isMarked(onboarding.winId()));
    model->lastPaired = device("Phone", clock.now);
    model->changed();
    QTest::qWait(10); // the pairing view goes from the event loop
    EXPECT_FALSE(ScreenCaptureExcluded::isMarked(onboarding.winId()));
}

// Our capture blanks a marked window of any process wherever it goes, and stops once it has repainted without its
// marker.
TEST(CaptureMarker, TheCaptureBlanksAMarkedForeignWindowAsItMovesAndResizes) {
    auto capture = X11Display::open();
    auto other = X11Display::open();
    ASSERT_TRUE(capture && other);
    X11OwnWindows own(*capture);
    Display* display = other->get();
    const Window window = XCreateSimpleWindow(display, other->root(), 10, 20, 200, 100, 0, 0, 0xFFFFFF);
    const Atom marker = other->atom(CaptureExclusions::windowProperty);
    const unsigned long one = 1;
    const auto mark = [&] {
        XChangeProperty(display, window, marker, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&one), 1);
        XSync(display, False);
    };
    mark();
    XMapWindow(display, window);
    const auto blanked = [&](PixelRect expected) {
        XSync(display, False);
        XSync(capture->get(), False);
        while (XPending(capture->get()) > 0) {
            XEvent event;
            XNextEvent(capture->get(), &event);
            own.handle(event, 0);
        }
        if (own.listStale()) own.refresh(0);
        const auto places = own.places(0);
        return std::find(places.begin(), places.end(), expected) != places.end();
    };
    EXPECT_TRUE(blanked({10, 20, 200, 100}));
    XMoveResizeWindow(display, window, 300, 40, 250, 150);
    EXPECT_TRUE(blanked({300, 40, 250, 150}));
    XDeleteProperty(display, window, marker);
    EXPECT_TRUE(blanked({300, 40, 250, 150})) << "what it showed marked is still there";
    XClearWindow(display, window);
    EXPECT_FALSE(blanked({300, 40, 250, 150}));
    mark();
    EXPECT_TRUE(blanked({300, 40, 250, 150})) << "marked while shown";
    XDestroyWindow(display, window);
}

// A look reads the server's newer state while the events from before it still wait: the moves they tell of a
// window not yet mapped then showed nothing, so they leave no place black.
TEST(CaptureMarker, MovesOfAWindowBeforeItWasMappedLeaveNothingBehind) {
    auto capture = X11Display::open();
    auto other = X11Display::open();
    ASSERT_TRUE(capture && other);
    X11OwnWindows own(*capture);
    XSync(capture->get(), False); // its selection of the root's events in place
    Display* display = other->get();
    const Window window = XCreateSimpleWindow(display, other->root(), 0, 0, 200, 100, 0, 0, 0xFFFFFF);
    const unsigned long one = 1;
    XChangeProperty(display, window, other->atom(CaptureExclusions::windowProperty), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&one), 1);
    // As a window manager places a frame: moved twice, then mapped.
    XMoveWindow(display, window, -1, -20);
    XMoveWindow(display, window, 600, 300);
    XMapWindow(display, window);
    XSync(display, False);
    XSync(capture->get(), False);
    own.refresh(0);
    while (XPending(capture->get()) > 0) {
        XEvent event;
        XNextEvent(capture->get(), &event);
        own.handle(event, 0);
    }
    if (own.listStale()) own.refresh(0);
    for (const auto& place : own.places(0)) EXPECT_EQ(place, (PixelRect{600, 300, 200, 100}));
    XDestroyWindow(display, window);
}

} // namespace
} // namespace orvik::helper::testing
