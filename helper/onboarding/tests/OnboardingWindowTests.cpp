#include "OnboardingFakes.hpp"
#include "onboarding/FixPermissionWindow.hpp"
#include "onboarding/OnboardingWindow.hpp"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace orvik::helper::testing {
namespace {

using namespace std::chrono_literals;
using Step = OnboardingWindow::Step;

class OnboardingWindowTest : public ::testing::Test {
protected:
    OnboardingWindowTest() { application(); }

    std::unique_ptr<OnboardingWindow> makeWindow() {
        auto window = std::make_unique<OnboardingWindow>(model, windows, OnboardingWindow::Options{clock.timing()});
        window->show();
        return window;
    }
    // Walks to the pairing step: Return on the welcome page, a granted permission, a ready listener.
    std::unique_ptr<OnboardingWindow> windowAtPairing() {
        auto window = makeWindow();
        model->permission = true;
        QTest::keyClick(window.get(), Qt::Key_Return);
        model->status = ListenerStatus::ready(5000);
        QTest::keyClick(window.get(), Qt::Key_Return);
        QTest::keyClick(window.get(), Qt::Key_Return);
        return window;
    }
    QPushButton* button(QWidget& window, const QString& text) {
        for (auto* candidate : window.findChildren<QPushButton*>()) {
            if (candidate->text() == text && candidate->isVisibleTo(&window)) return candidate;
        }
        return nullptr;
    }

    std::shared_ptr<FakeOnboardingModel> model = std::make_shared<FakeOnboardingModel>();
    FakeTiming clock;
    FakeWindows windows;
};

TEST_F(OnboardingWindowTest, ReturnContinuesOnWelcomeAndTheNetworkStepButNeverOnThePairingView) {
    auto window = makeWindow();
    EXPECT_EQ(window->size(), QSize(560, 440));
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(window->step(), Step::allowControl);
    model->status = ListenerStatus::ready(5000);
    model->permission = true;
    clock.tick();
    EXPECT_EQ(window->step(), Step::localNetwork);
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(model->count("startServer"), 1u);
    EXPECT_EQ(button(*window, "Continue") != nullptr, true) << "an already running server is ready at once";
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(window->step(), Step::pair);
    EXPECT_EQ(window->height(), 640);
    EXPECT_EQ(model->count("startPairing"), 1u);
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(window->step(), Step::pair);
    EXPECT_EQ(model->count("onboardingCompleted"), 0u);
}

TEST_F(OnboardingWindowTest, NetworkStepWaitsForTheListenerWithoutGivingUp) {
    auto window = makeWindow();
    QTest::keyClick(window.get(), Qt::Key_Return);
    model->permission = true;
    clock.tick();
    model->status = ListenerStatus::ready(5000);
    model->changed();
    ASSERT_NE(button(*window, "Continue"), nullptr) << "not started yet: the first-time branch";
    model->status = ListenerStatus::starting();
    button(*window, "Continue")->click();
    for (const auto& status : {ListenerStatus::failed("address in use"), ListenerStatus::localNetworkDenied()}) {
        model->status = status;
        model->changed();
        EXPECT_EQ(button(*window, "Continue"), nullptr);
        QTest::keyClick(window.get(), Qt::Key_Return);
    }
    model->status = ListenerStatus::ready(1);
    model->changed();
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(window->step(), Step::pair);
}

TEST_F(OnboardingWindowTest, PermissionStepMovesOnAtTheFirstTickAfterTheGrantOnceAndStopsWhenHidden) {
    auto window = makeWindow();
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(model->count("refreshPermission"), 1u) << "the first reading needs no wait";
    clock.tick();
    model->permissionAfterRequest = true;
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(model->count("requestPermission"), 1u);
    EXPECT_EQ(window->step(), Step::allowControl) << "the button itself does not move on";
    clock.tick();
    EXPECT_EQ(window->step(), Step::localNetwork);
    EXPECT_EQ(model->count("refreshPermission"), 3u);
    clock.tick();
    EXPECT_EQ(model->count("refreshPermission"), 3u) << "exactly once";

    auto closed = makeWindow();
    model->permission = false;
    QTest::keyClick(closed.get(), Qt::Key_Return);
    closed->close();
    EXPECT_EQ(clock.running(), 0u);
}

TEST_F(OnboardingWindowTest, FinishingCompletesStartsTheServerAndTouchesLoginOnlyAfterAPairing) {
    enum class Leave { pairLater, done, doneUnchecked, close };
    struct Row {
        Leave leave;
        std::optional<bool> launchesAtLogin;
        std::size_t cancels, completed;
    };
    for (auto row : {Row{Leave::pairLater, std::nullopt, 1, 1}, Row{Leave::done, true, 0, 1},
                     Row{Leave::doneUnchecked, false, 0, 1}, Row{Leave::close, std::nullopt, 1, 0}}) {
        model = std::make_shared<FakeOnboardingModel>();
        windows.closed.clear();
        auto window = windowAtPairing();
        window->showMinimized();
        window->showNormal();
        if (row.leave == Leave::done || row.leave == Leave::doneUnchecked) {
            model->pairingInfo.reset();
            model->lastPaired = device("Zoë’s <i>iPhone</i>", clock.now);
            model->changed();
            ASSERT_EQ(window->pairedName(), "Zoë’s <i>iPhone</i>");
            EXPECT_EQ(window->height(), 640) << "still the pairing step";
            if (row.leave == Leave::doneUnchecked) window->findChild<QCheckBox*>()->click();
            QTest::keyClick(window.get(), Qt::Key_Return);
        }
        if (row.leave == Leave::pairLater) window->findChild<QPushButton*>("pairLater")->click();
        EXPECT_EQ(model->count("cancelPairing"), row.leave == Leave::pairLater ? 1u : 0u) << "minimised is open";
        window->close();
        EXPECT_EQ(model->launchesAtLogin, row.launchesAtLogin);
        EXPECT_EQ(model->count("onboardingCompleted"), row.completed);
        EXPECT_EQ(model->count("cancelPairing"), row.cancels) << "leaving unpaired leaves no valid code behind";
        EXPECT_EQ(windows.closed.size(), row.completed);
    }
}

TEST_F(OnboardingWindowTest, FixPermissionWindowClosesItselfAtTheFirstGrantedReading) {
    for (bool grantedAtOnce : {true, false}) {
        windows.closed.clear();
        model->permission = grantedAtOnce;
        model->permissionAfterRequest = true;
        FixPermissionWindow window(model, windows, clock.timing());
        EXPECT_EQ(window.width(), FixPermissionWindow::contentWidth);
        window.show();
        if (!grantedAtOnce) {
            EXPECT_TRUE(windows.closed.empty());
            QTest::keyClick(&window, Qt::Key_Return);
            EXPECT_TRUE(windows.closed.empty()) << "the button does not close the window";
            clock.tick();
        }
        EXPECT_EQ(windows.closed, std::vector<std::string>{"fixPermission"});
        clock.tick();
        EXPECT_EQ(windows.closed.size(), 1u);
        EXPECT_FALSE(window.isWatching());
    }
}

} // namespace
} // namespace orvik::helper::testing
