#include "alerts/PairingApproval.hpp"
#include "alerts/ScreenViewingApproval.hpp"

#include "WaitUntil.hpp"
#include "WidgetTestEnvironment.hpp"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

// Last: Xlib's macros (None, Bool) clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace orvik::helper {
namespace {

const std::string strangeName = "Tom & Jerry_<b>x</b><img src=/etc/hostname> “Ёжик”";

enum class Alert { pairing, screenViewing };

struct Expected {
    QString message;
    QString informativeText;
    QStringList buttons;
};

Expected expectedTexts(Alert alert) {
    const QString name = QString::fromStdString(strangeName);
    if (alert == Alert::pairing) {
        return {"Allow “" + name + "” to control this computer?",
                "It will be able to move the pointer, type and use Orvik’s controls. You can remove it at any time in "
                "Orvik Helper Settings.",
                {"Allow", "Deny"}};
    }
    return {"Allow “" + name + "” to view this computer’s screen?",
            "It will see everything on the screen while viewing. The Orvik icon in the system tray shows when someone "
            "is viewing, and you can stop it there.",
            {"Allow Once", "Always Allow", "Don’t Allow"}};
}

const char* decisionName(ScreenViewingDecision decision) {
    switch (decision) {
    case ScreenViewingDecision::allowOnce: return "allowOnce";
    case ScreenViewingDecision::alwaysAllow: return "alwaysAllow";
    case ScreenViewingDecision::deny: return "deny";
    }
    return "?";
}

class ApprovalAlertTest : public testing::Test {
protected:
    ~ApprovalAlertTest() override { XCloseDisplay(display_); }

    // Asks; each answer is recorded by name ("true", "alwaysAllow").
    void ask(Alert alert, const std::string& name = strangeName) {
        if (alert == Alert::pairing) {
            PairingApproval::ask({name, "iPhone"},
                                 [this](bool allowed) { answers.push_back(allowed ? "true" : "false"); });
        } else {
            ScreenViewingApproval::ask(
                {Uuid{}, name}, [this](ScreenViewingDecision decision) { answers.push_back(decisionName(decision)); });
        }
    }

    bool processUntil(const std::function<bool()>& condition) {
        return test::waitUntil(condition, std::chrono::seconds(30),
                               [] { QApplication::processEvents(QEventLoop::AllEvents, 10); });
    }

    // The shown box with this message, once it is exposed and has the keyboard focus.
    QMessageBox* activeAlert(const QString& message) {
        QMessageBox* found = nullptr;
        const bool active = processUntil([&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (box && box->isVisible() && box->text() == message) found = box;
            }
            return found && found->isActiveWindow() && found->windowHandle()->isExposed();
        });
        return active ? found : nullptr;
    }

    // The box's buttons as they appear from left to right.
    static std::vector<QAbstractButton*> buttonsLeftToRight(QMessageBox* box) {
        auto buttons = box->buttons();
        std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
        return {buttons.begin(), buttons.end()};
    }

    void press(KeySym key) {
        const KeyCode code = XKeysymToKeycode(display_, key);
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        XSync(display_, False);
    }

    void click(QAbstractButton* button) {
        const QPoint centre = button->mapToGlobal(button->rect().center());
        XTestFakeMotionEvent(display_, -1, centre.x(), centre.y(), CurrentTime);
        XTestFakeButtonEvent(display_, Button1, True, CurrentTime);
        XTestFakeButtonEvent(display_, Button1, False, CurrentTime);
        XSync(display_, False);
    }

    Display* display_ = XOpenDisplay(nullptr);
    std::vector<std::string> answers;
};

struct AnswerCase {
    const char* name;
    Alert alert;
    KeySym key; // pressed, or 0 to click
    int button; // clicked, counted from the left
    const char* expected;
};

void PrintTo(const AnswerCase& answer, std::ostream* out) {
    *out << answer.name;
}

class AlertAnswers : public ApprovalAlertTest, public testing::WithParamInterface<AnswerCase> {};

TEST_P(AlertAnswers, ShowTheNameVerbatimInTheDesignedTextsAndAnswerOnce) {
    const AnswerCase& answer = GetParam();
    const Expected expected = expectedTexts(answer.alert);
    ask(answer.alert);
    QMessageBox* box = activeAlert(expected.message);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->informativeText(), expected.informativeText);
    EXPECT_TRUE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    const auto buttons = buttonsLeftToRight(box);
    QStringList labels;
    for (auto* button : buttons) labels.append(button->text());
    EXPECT_EQ(labels, expected.buttons);

    if (answer.key != 0) {
        press(answer.key);
    } else {
        click(buttons.at(static_cast<std::size_t>(answer.button)));
    }
    ASSERT_TRUE(processUntil([this] { return !answers.empty(); }));
    QApplication::processEvents();
    EXPECT_EQ(answers, std::vector<std::string>{answer.expected});
}

INSTANTIATE_TEST_SUITE_P(
    ByKeyAndClick, AlertAnswers,
    testing::Values(AnswerCase{"PairingReturnAllows", Alert::pairing, XK_Return, 0, "true"},
                    AnswerCase{"PairingEscapeDenies", Alert::pairing, XK_Escape, 0, "false"},
                    AnswerCase{"PairingDenyClicked", Alert::pairing, 0, 1, "false"},
                    AnswerCase{"ScreenReturnAllowsOnce", Alert::screenViewing, XK_Return, 0, "allowOnce"},
                    AnswerCase{"ScreenEscapeDenies", Alert::screenViewing, XK_Escape, 0, "deny"},
                    AnswerCase{"ScreenAlwaysAllowClicked", Alert::screenViewing, 0, 1, "alwaysAllow"},
                    AnswerCase{"ScreenDontAllowClicked", Alert::screenViewing, 0, 2, "deny"}),
    [](const auto& parameter) { return std::string(parameter.param.name); });

class TwoQuestions : public ApprovalAlertTest, public testing::WithParamInterface<bool> {};

// Neither question blocks the other: modal boxes or nested event loops could only be answered newest first.
TEST_P(TwoQuestions, AreAnsweredIndependentlyInEitherOrder) {
    const bool earlierFirst = GetParam();
    ask(Alert::pairing, "Earlier");
    QMessageBox* earlier = activeAlert("Allow “Earlier” to control this computer?");
    ASSERT_NE(earlier, nullptr);
    // Apart from the later box, which opens in the middle of the screen.
    earlier->move(0, 0);
    ASSERT_TRUE(processUntil([earlier] { return earlier->mapToGlobal(QPoint(0, 0)).y() < 200; }));
    ask(Alert::screenViewing, "Later");
    QMessageBox* later = activeAlert("Allow “Later” to view this computer’s screen?");
    ASSERT_NE(later, nullptr);

    const std::vector<QAbstractButton*> choices{buttonsLeftToRight(earlier).at(0), buttonsLeftToRight(later).at(1)};
    click(choices.at(earlierFirst ? 0 : 1));
    ASSERT_TRUE(processUntil([this] { return answers.size() == 1; }));
    click(choices.at(earlierFirst ? 1 : 0));
    ASSERT_TRUE(processUntil([this] { return answers.size() == 2; }));
    const std::vector<std::string> inOrder{"true", "alwaysAllow"};
    EXPECT_EQ(answers, earlierFirst ? inOrder : std::vector<std::string>(inOrder.rbegin(), inOrder.rend()));
}

INSTANTIATE_TEST_SUITE_P(Order, TwoQuestions, testing::Values(true, false), [](const auto& parameter) {
    return std::string(parameter.param ? "EarlierFirst" : "LaterFirst");
});

} // namespace
} // namespace orvik::helper

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no X server.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    // GNOME's button layout reorders buttons by role; the alerts must keep the designed order there too.
    qputenv("QT_QPA_PLATFORMTHEME", "gnome");
    QApplication application(argc, argv);
    pinWidgetTestLook();
    return RUN_ALL_TESTS();
}
