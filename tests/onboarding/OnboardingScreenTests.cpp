#include "OnboardingFakes.hpp"
#include "VisibleText.hpp"
#include "onboarding/FixPermissionWindow.hpp"
#include "onboarding/OnboardingWindow.hpp"
#include "onboarding/PairingWindow.hpp"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace orvik::helper::testing {
namespace {

using namespace std::chrono_literals;
using Step = OnboardingWindow::Step;

const std::string storeID = "1234567890";
// Between the QR panel and the instruction below it.
constexpr int instructionSpacing = 12;
// As long as a real pairing URL with two addresses.
const std::string pairingURL = "orvik://pair?v=1&h=3F2504E0-4F89-11D3-9A0C-0305E82C3301&n=Test%20Computer&a=192.168."
                               "1.20:49152,10.0.0.7:49152&s=q2S0bXrdFj3mO7Vd9YFQy1x8bR3j4GXL3hJmPqR5c0w";

std::string zbar(const QImage& image) {
    return testing::zbar(image, QDir(QStringLiteral(ORVIK_SCREENSHOT_DIR)).filePath(QStringLiteral("zbar-input.png")));
}

class OnboardingScreen : public ::testing::Test {
protected:
    OnboardingScreen() {
        application();
        QDir().mkpath(QStringLiteral(ORVIK_SCREENSHOT_DIR));
    }

    // Shows the window, lets it paint and saves what the screen shows of it.
    QImage photograph(QWidget& window, const QString& name) {
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(50);
        QImage shot = window.screen()->grabWindow(window.winId()).toImage();
        shot.save(QDir(QStringLiteral(ORVIK_SCREENSHOT_DIR)).filePath(name + QStringLiteral(".png")));
        return shot;
    }
    void showCode() {
        model->pairingInfo =
            PairingInfo{Uuid::random(), pairingURL, "7KQ2M-X9PRT-4HV8C-N3JWD-6YB1F", clock.now + 299s, {}};
        model->changed();
    }
    // The instruction stands the designed spacing below the QR panel, and no text is cut or spills over another.
    static void expectCodeLaidOut(QWidget& window) {
        auto* code = window.findChild<QWidget*>(QStringLiteral("pairingQRCode"));
        ASSERT_NE(code, nullptr);
        QWidget* panel = code->parentWidget();
        const QLabel* instruction = nullptr;
        for (const QLabel* label : window.findChildren<QLabel*>()) {
            if (label->text().startsWith(QStringLiteral("In Orvik on your iPhone"))) instruction = label;
        }
        ASSERT_NE(instruction, nullptr);
        const int gap =
            instruction->mapTo(&window, QPoint()).y() - panel->mapTo(&window, QPoint(0, panel->height())).y();
        EXPECT_GE(gap, instructionSpacing);
        test::expectNothingClipped(&window);
    }
    static bool inside(QWidget& window, const QWidget* part) {
        return part && part->isVisible() && window.rect().contains(QRect(part->mapTo(&window, QPoint()), part->size()));
    }

    std::shared_ptr<FakeOnboardingModel> model = std::make_shared<FakeOnboardingModel>();
    FakeTiming clock;
    FakeWindows windows;
};

// Return answers the main button of each step, never one while the listener is not ready nor the pairing view.
TEST_F(OnboardingScreen, EveryOnboardingStepFitsItsWindowAndReturnPressesItsMainButton) {
    OnboardingWindow window(model, windows, {clock.timing(), storeID});
    photograph(window, QStringLiteral("onboarding-1-welcome"));
    EXPECT_EQ(window.size(), QSize(560, 440));
    QTest::keyClick(&window, Qt::Key_Return);
    photograph(window, QStringLiteral("onboarding-2-allow-control"));
    model->permission = true;
    clock.tick();
    photograph(window, QStringLiteral("onboarding-3-network"));
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(model->count("startServer"), 1u);
    photograph(window, QStringLiteral("onboarding-3-network-waiting"));
    model->status = ListenerStatus::localNetworkDenied();
    model->changed();
    QTest::keyClick(&window, Qt::Key_Return);
    photograph(window, QStringLiteral("onboarding-3-network-denied"));
    model->status = ListenerStatus::ready(49152);
    model->changed();
    photograph(window, QStringLiteral("onboarding-3-network-ready"));
    EXPECT_EQ(window.step(), Step::localNetwork);
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(model->count("startPairing"), 1u);
    photograph(window, QStringLiteral("onboarding-4-pair-waiting"));
    showCode();
    QTest::keyClick(&window, Qt::Key_Return);
    photograph(window, QStringLiteral("onboarding-4-pair-code"));
    expectCodeLaidOut(window);
    EXPECT_EQ(window.size(), QSize(560, 640)) << "as after the pairing";
    EXPECT_EQ(model->count("startPairing"), 1u) << "Return is no button of the pairing view";
    model->pairingInfo.reset();
    model->lastPaired = device("Zoë’s <b>iPhone</b>", clock.now);
    model->changed();
    photograph(window, QStringLiteral("onboarding-4-paired"));
    EXPECT_EQ(window.size(), QSize(560, 640));
}

TEST_F(OnboardingScreen, PairLaterAndTheDotsStayInsideWithEitherHint) {
    for (const auto& id : {std::optional(storeID), std::optional<std::string>()}) {
        OnboardingWindow window(model, windows, {clock.timing(), id});
        window.show();
        model->permission = true;
        model->status = ListenerStatus::ready(49152);
        for (int press = 0; press < 3; ++press) QTest::keyClick(&window, Qt::Key_Return);
        showCode();
        const QImage shot = photograph(window, id ? QStringLiteral("hint-code") : QStringLiteral("hint-text"));
        EXPECT_TRUE(inside(window, window.findChild<QPushButton*>("pairLater")));
        auto* view = window.findChild<QWidget*>("pairingView");
        EXPECT_GE(view->height(), view->minimumSizeHint().height()) << "the code is not squeezed";
        EXPECT_TRUE(inside(window, window.findChild<QWidget*>("stepDots")));
        EXPECT_EQ(window.height(), 640);
        auto* hint = window.findChild<QWidget*>("appStoreQRCode");
        ASSERT_EQ(hint != nullptr, id.has_value());
        if (hint) {
            // The hint's code alone, as the screen shows it at a device-pixel ratio of 1.
            const QRect area(hint->mapTo(&window, QPoint()), hint->size());
            EXPECT_EQ(zbar(shot.copy(area.adjusted(-6, -6, 6, 6))), "https://apps.apple.com/app/id" + storeID);
        }
        window.close();
    }
}

TEST_F(OnboardingScreen, PairingAndFixPermissionWindowsInEveryState) {
    {
        PairingWindow window(model, windows, clock.timing());
        photograph(window, QStringLiteral("pairing-expired"));
        showCode();
        photograph(window, QStringLiteral("pairing-code"));
        expectCodeLaidOut(window);
        model->pairingInfo.reset();
        model->lastPaired = device("Zoë’s <b>iPhone</b>", clock.now + 1s);
        model->changed();
        photograph(window, QStringLiteral("pairing-paired"));
        window.close();
    }
    model->permission = false;
    FixPermissionWindow fix(model, windows, clock.timing());
    photograph(fix, QStringLiteral("fix-permission"));
    EXPECT_EQ(fix.width(), FixPermissionWindow::contentWidth);
}

} // namespace
} // namespace orvik::helper::testing
