#include "OnboardingFakes.hpp"
#include "onboarding/FixPermissionWindow.hpp"
#include "onboarding/OnboardingWindow.hpp"
#include "onboarding/PairingWindow.hpp"

#include <QCoreApplication>
#include <QEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace orvik::helper::testing {
namespace {

using namespace std::chrono_literals;

// Counts the layout passes a window is asked for.
class LayoutRequests : public QObject {
public:
    explicit LayoutRequests(QWidget& window) { window.installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) ++count;
        return false;
    }
};

// A window that fits itself to its content must come to rest: a fit that asks for another layout pass, which fits
// again, keeps the GUI thread busy for as long as the window is open.
int layoutRequestsOnceSettled(QWidget& window) {
    window.show();
    QTest::qWait(50);
    LayoutRequests requests(window);
    for (int round = 0; round < 20; ++round) QCoreApplication::processEvents();
    return requests.count;
}

TEST(ContentWindow, EveryWindowComesToRestAfterFittingItsContent) {
    application();
    auto model = std::make_shared<FakeOnboardingModel>();
    model->pairingInfo = pairingInfo("AAAAA-AAAAA", Date{} + 300s);
    FakeTiming clock;
    FakeWindows windows;
    {
        OnboardingWindow window(model, windows, {clock.timing()});
        EXPECT_EQ(layoutRequestsOnceSettled(window), 0) << "first run";
        model->changed();
        layoutRequestsOnceSettled(window);
        EXPECT_EQ(layoutRequestsOnceSettled(window), 0) << "first run after a change";
    }
    {
        PairingWindow window(model, windows, clock.timing());
        EXPECT_EQ(layoutRequestsOnceSettled(window), 0) << "pairing";
        model->pairingInfo.reset();
        model->changed();
        layoutRequestsOnceSettled(window);
        EXPECT_EQ(layoutRequestsOnceSettled(window), 0) << "pairing after the code went";
    }
    FixPermissionWindow window(model, windows, clock.timing());
    EXPECT_EQ(layoutRequestsOnceSettled(window), 0) << "fix permission";
}

} // namespace
} // namespace orvik::helper::testing
