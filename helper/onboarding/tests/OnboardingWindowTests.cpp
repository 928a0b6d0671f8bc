#include "OnboardingFakes.hpp"
#include "onboarding/FixPermissionWindow.hpp"
#include "onboarding/OnboardingWindow.hpp"
#include "onboarding/PairingView.hpp"
#include "onboarding/PairingWindow.hpp"
#include "onboarding/StepDots.hpp"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace orvik::helper::testing {
namespace {

using namespace std::chrono_literals;
using Step = OnboardingWindow::Step;

class OnboardingWindowFixture : public ::testing::Test {
protected:
    OnboardingWindowFixture() { application(); }

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

    std::shared_ptr<FakeOnboardingModel> model = std::make_shared<FakeOnboardingModel>();
    FakeTiming clock;
    FakeWindows windows;
};

TEST_F(OnboardingWindowFixture, PermissionStepMovesOnAtTheFirstTickAfterTheGrantOnceAndStopsWhenHidden) {
    auto window = makeWindow();
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(model->count("refreshPermission"), 1u) << "the first reading needs no wait";
    clock.tick();
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(model->count("requestPermission"), 1u);
    model->permission = true; // granted by the request
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
    EXPECT_EQ(clock.running(), 0);
}

// What the window shows of its step: the symbol, the lit dot and what a screen reader hears of the dots.
void expectShows(OnboardingWindow& window, const QString& symbol, int number) {
    EXPECT_NE(window.findChild<QLabel*>(QStringLiteral("symbol:") + symbol), nullptr) << symbol.toStdString();
    auto* dots = window.findChild<StepDots*>(QStringLiteral("stepDots"));
    EXPECT_EQ(dots->current(), number - 1);
    EXPECT_EQ(dots->accessibleName().toStdString(), "Step " + std::to_string(number) + " of 4");
}

TEST_F(OnboardingWindowFixture, ShowsTheSymbolAndDotOfTheStepItIsAtAlsoWhenAStepMovesOnAtOnce) {
    auto window = makeWindow();
    expectShows(*window, QStringLiteral("computer-and-phone"), 1);
    QTest::keyClick(window.get(), Qt::Key_Return);
    expectShows(*window, QStringLiteral("pointer-click"), 2);

    model->permission = true; // as on X11: granted before the step shows
    auto granted = makeWindow();
    QTest::keyClick(granted.get(), Qt::Key_Return);
    ASSERT_EQ(granted->step(), Step::localNetwork);
    expectShows(*granted, QStringLiteral("network"), 3);
    model->status = ListenerStatus::ready(5000);
    QTest::keyClick(granted.get(), Qt::Key_Return);
    QTest::keyClick(granted.get(), Qt::Key_Return);
    ASSERT_EQ(granted->step(), Step::pair);
    expectShows(*granted, QStringLiteral("qrcode-viewfinder"), 4);
}

TEST_F(OnboardingWindowFixture, FinishingCompletesStartsTheServerAndTouchesLoginOnlyAfterAPairing) {
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

TEST_F(OnboardingWindowFixture, ClosingAtThePairingStepLeavesTheSessionOfAPairingWindowOpenedSince) {
    auto onboarding = windowAtPairing();
    ASSERT_EQ(model->opened.size(), 1u);
    model->pairingInfo = model->opened.front();
    model->changed();
    // "Pair iPhone…" from the menu: the pairing window shows the first-run window's code, then its own.
    PairingWindow pairing(model, windows, clock.timing());
    pairing.show();
    pairing.startNewSession();
    ASSERT_EQ(model->opened.size(), 2u);
    model->pairingInfo = model->opened.back();
    model->changed();

    onboarding->close();
    EXPECT_TRUE(model->cancelled.empty());
    EXPECT_EQ(pairing.pairingView()->state(), PairingPresentation::State::code);
    pairing.close();
    EXPECT_EQ(model->cancelled.back(), model->opened.back().sessionID);
}

// Whichever window opened first and whichever closes first, the code shown stays valid while a window shows it and
// is ended with the last one.
TEST_F(OnboardingWindowFixture, NoWindowEndsTheSessionThatAnotherOpenWindowShows) {
    for (const bool pairingWindowFirst : {true, false}) {
        for (const bool onboardingClosesFirst : {true, false}) {
            model = std::make_shared<FakeOnboardingModel>();
            const auto showNewest = [this] {
                model->pairingInfo = model->opened.back();
                model->changed();
            };
            auto pairing = std::make_unique<PairingWindow>(model, windows, clock.timing());
            std::unique_ptr<OnboardingWindow> onboarding;
            if (pairingWindowFirst) {
                pairing->show();
                showNewest();
                onboarding = windowAtPairing();
            } else {
                onboarding = windowAtPairing();
                showNewest();
                pairing->show();
                pairing->startNewSession();
            }
            showNewest();
            const Uuid shown = model->opened.back().sessionID;
            QWidget& first = onboardingClosesFirst ? static_cast<QWidget&>(*onboarding) : *pairing;
            QWidget& second = onboardingClosesFirst ? static_cast<QWidget&>(*pairing) : *onboarding;
            first.close();
            EXPECT_TRUE(model->cancelled.empty()) << pairingWindowFirst << onboardingClosesFirst;
            auto* view = dynamic_cast<PairingView*>(second.findChild<QWidget*>(QStringLiteral("pairingView")));
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(view->state(), PairingPresentation::State::code);
            second.close();
            ASSERT_FALSE(model->cancelled.empty());
            EXPECT_EQ(model->cancelled.back(), shown) << pairingWindowFirst << onboardingClosesFirst;
        }
    }
}

TEST_F(OnboardingWindowFixture, FixPermissionWindowClosesItselfAtTheFirstGrantedReading) {
    for (bool grantedAtOnce : {true, false}) {
        windows.closed.clear();
        model->permission = grantedAtOnce;
        FixPermissionWindow window(model, windows, clock.timing());
        EXPECT_EQ(window.width(), FixPermissionWindow::contentWidth);
        window.show();
        if (!grantedAtOnce) {
            QTest::keyClick(&window, Qt::Key_Return);
            EXPECT_EQ(model->count("requestPermission"), 1u);
            model->permission = true; // granted by the request
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
