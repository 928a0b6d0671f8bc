#include "OnboardingFakes.hpp"
#include "onboarding/PairingView.hpp"
#include "onboarding/PairingWindow.hpp"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace orvik::helper::testing {
namespace {

using namespace std::chrono_literals;
using State = PairingPresentation::State;

class PairingViewFixture : public ::testing::Test {
protected:
    PairingViewFixture() { application(); }

    std::unique_ptr<PairingView> makeView() {
        return std::make_unique<PairingView>(model, clock.timing(),
                                             [this](const PairedDevice& paired) { reported.push_back(paired.name); });
    }

    std::shared_ptr<FakeOnboardingModel> model = std::make_shared<FakeOnboardingModel>();
    FakeTiming clock;
    std::vector<std::string> reported;
};

TEST_F(PairingViewFixture, ReportsOnlyDevicesPairedSinceShownAndEachChangeOnce) {
    model->lastPaired = device("Earlier", clock.now - 1s);
    auto view = makeView();
    EXPECT_EQ(view->state(), State::expired) << "a device from before the view is not its pairing";
    EXPECT_TRUE(reported.empty());

    model->pairingInfo = pairingInfo("AAAAA-AAAAA", clock.now + 300s);
    model->lastPaired = device("Now", clock.now);
    model->changed();
    EXPECT_EQ(view->state(), State::code) << "an open session wins over the confirmation";
    model->changed();
    model->pairingInfo.reset();
    model->changed();
    EXPECT_EQ(view->state(), State::paired);
    EXPECT_EQ(reported, std::vector<std::string>{"Now"}) << "an equal device is not reported again";

    for (const auto& change : {std::optional<PairedDevice>{}, std::optional(device("Before", clock.now - 1ms))}) {
        model->lastPaired = change;
        model->changed();
    }
    EXPECT_EQ(reported.size(), 1u);
    EXPECT_EQ(view->state(), State::expired);
    clock.now += 1s;
    view->findChild<QPushButton*>("showNewCode")->click();
    EXPECT_EQ(model->count("startPairing"), 1u);
    model->lastPaired = device("Before the press", clock.now - 1ms);
    model->changed();
    EXPECT_EQ(view->state(), State::expired) << "until the new code arrives";
}

TEST_F(PairingViewFixture, ShowsTheNewestCodeWithItsCountdownAndStopsTickingWhenItGoes) {
    auto view = makeView();
    EXPECT_EQ(clock.running(), 0) << "no countdown without a code";
    model->pairingInfo = pairingInfo("OLD", clock.now + 10s);
    model->changed();
    model->pairingInfo = pairingInfo("NEW<b>", clock.now + 300s);
    model->changed();
    auto* code = view->findChild<QLabel*>("manualCode");
    EXPECT_EQ(code->text(), "NEW<b>");
    EXPECT_EQ(code->textFormat(), Qt::PlainText);
    EXPECT_TRUE(code->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_EQ(code->accessibleName(), "N E W < b >");
    EXPECT_EQ(view->findChild<QLabel*>("computerName")->textFormat(), Qt::PlainText);
    auto* countdown = view->findChild<QLabel*>("countdown");
    EXPECT_EQ(countdown->text(), "Code expires in 5:00");
    clock.tick();
    EXPECT_EQ(countdown->text(), "Code expires in 4:59");
    for (int second = 0; second < 305; ++second) clock.tick();
    EXPECT_EQ(countdown->text(), "Code expires in 0:00") << "the state waits for the model";
    EXPECT_EQ(view->state(), State::code);
    model->pairingInfo.reset();
    model->changed();
    EXPECT_EQ(view->state(), State::expired);
    EXPECT_EQ(clock.running(), 0);
}

TEST_F(PairingViewFixture, PairingWindowAsksForACodeWhenShownAndCancelsWhatItShowsHoweverItCloses) {
    FakeWindows windows;
    struct Row {
        bool sessionOpen; // one that a window closed since opened
        const char* closing;
        std::size_t cancels, closedByWindow;
    };
    for (auto row : {Row{false, "button", 2, 1}, Row{false, "escape", 2, 1}, Row{false, "close", 1, 0},
                     Row{true, "escape", 2, 1}, Row{true, "close", 1, 0}}) {
        model->calls.clear();
        windows.closed.clear();
        model->pairingInfo.reset();
        if (row.sessionOpen) model->pairingInfo = pairingInfo("CODE", clock.now + 300s);
        PairingWindow window(model, windows, clock.timing());
        window.show();
        EXPECT_EQ(model->count("startPairing"), row.sessionOpen ? 0u : 1u);
        auto* button = window.findChild<QPushButton*>("closeButton");
        EXPECT_EQ(button->text(), row.sessionOpen ? "Cancel" : "Done");
        window.showMinimized();
        window.showNormal();
        EXPECT_EQ(model->count("cancelPairing"), 0u) << "a minimise is not a close";
        if (row.closing == std::string("button")) button->click();
        if (row.closing == std::string("escape")) QTest::keyClick(&window, Qt::Key_Escape);
        // The registry closes the window it was asked to close.
        window.close();
        EXPECT_EQ(model->count("cancelPairing"), row.cancels) << row.closing;
        if (row.cancels > 0) {
            EXPECT_EQ(model->cancelled.back(),
                      row.sessionOpen ? model->pairingInfo->sessionID : model->opened.back().sessionID);
        }
        EXPECT_EQ(windows.closed.size(), row.closedByWindow);
    }
}

TEST_F(PairingViewFixture, APairingWindowClosedBeforeItsSessionArrivedEndsItOnArrivalUnlessAWindowShowsIt) {
    FakeWindows windows;
    model->answerLater = true;
    {
        PairingWindow window(model, windows, clock.timing());
        window.show();
        window.close();
    }
    EXPECT_EQ(model->count("cancelPairing"), 0u);
    model->answerRequests();
    ASSERT_EQ(model->opened.size(), 1u);
    EXPECT_EQ(model->cancelled, std::vector<Uuid>{model->opened.front().sessionID});

    PairingWindow staying(model, windows, clock.timing());
    staying.show();
    {
        PairingWindow closing(model, windows, clock.timing());
        closing.show();
        closing.close();
    }
    model->answerRequests();
    EXPECT_EQ(model->opened.size(), 3u);
    EXPECT_EQ(model->cancelled.size(), 1u) << "the window still open shows what arrives";
}

TEST_F(PairingViewFixture, APairingWindowLeftOpenAndAskedForANewCodeForgetsThePhonePairedBefore) {
    FakeWindows windows;
    PairingWindow window(model, windows, clock.timing());
    window.show();
    window.startNewSession();
    EXPECT_EQ(model->count("startPairing"), 2u) << "a session of its own that arrived is not on its way";
    model->pairingInfo = model->opened.back();
    model->changed();
    // The first phone presents the code and is paired.
    clock.now += 1s;
    model->pairingInfo.reset();
    model->lastPaired = device("First", clock.now);
    model->changed();
    EXPECT_EQ(window.pairingView()->state(), State::paired);

    // The menu asks the open window for a new code; a second phone presents it and is denied.
    clock.now += 1s;
    window.startNewSession();
    model->pairingInfo = model->opened.back();
    model->changed();
    EXPECT_EQ(window.pairingView()->state(), State::code);
    model->pairingInfo.reset();
    model->changed();
    EXPECT_EQ(window.pairingView()->state(), State::expired) << "not the first phone's confirmation";

    model->answerLater = true;
    window.startNewSession();
    window.startNewSession();
    EXPECT_EQ(model->count("startPairing"), 4u) << "none more while one is on its way";
    model->answerRequests();
}

} // namespace
} // namespace orvik::helper::testing
