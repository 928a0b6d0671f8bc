#include "alerts/PairingApproval.hpp"
#include "alerts/ScreenViewingApproval.hpp"

#include "ChildProcess.hpp"
#include "WaitUntil.hpp"
#include "WidgetTestEnvironment.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

class ApprovalAlert : public testing::Test {
protected:
    // Asks; each answer is recorded by name ("true", "alwaysAllow").
    void ask(bool pairing, const std::string& name, MenuPlace menu = MenuPlace::tray) {
        if (pairing)
            return PairingApproval::ask({name, {}},
                                        [this](bool allowed) { answers.push_back(allowed ? "true" : "false"); });
        ScreenViewingApproval::ask({Uuid{}, name}, menu, [this](ScreenViewingDecision decision) {
            using enum ScreenViewingDecision;
            answers.push_back(decision == allowOnce ? "allowOnce" : decision == alwaysAllow ? "alwaysAllow" : "deny");
        });
    }

    bool processUntil(const std::function<bool()>& condition) {
        return test::waitUntil(condition, 30s, [] { QApplication::processEvents(QEventLoop::AllEvents, 10); });
    }

    // The buttons, left to right, of the box with this message, once it is exposed and has the keyboard focus.
    QList<QAbstractButton*> activeAlert(const QString& message) {
        QMessageBox* box = nullptr;
        processUntil([&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* found = qobject_cast<QMessageBox*>(widget);
                if (found && found->isVisible() && found->text() == message) box = found;
            }
            return box && box->isActiveWindow() && box->windowHandle()->isExposed();
        });
        if (!box || !box->isActiveWindow() || box->textFormat() != Qt::PlainText) return {};
        auto buttons = box->buttons();
        std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
        return buttons;
    }

    static void xdotool(const std::vector<std::string>& arguments) {
        ASSERT_EQ(test::ChildProcess::run(arguments, 30s).status, 0);
    }
    static void click(QAbstractButton* button) {
        const QPoint centre = button->mapToGlobal(button->rect().center());
        xdotool({"xdotool", "mousemove", std::to_string(centre.x()), std::to_string(centre.y()), "click", "1"});
    }

    std::vector<std::string> answers;
};

struct AnswerCase {
    const char* name;
    bool pairing;
    const char* key;  // pressed, or empty to click
    qsizetype button; // clicked, counted from the left
    const char* expected;
    MenuPlace menu = MenuPlace::tray;
};
void PrintTo(const AnswerCase& answer, std::ostream* out) {
    *out << answer.name;
}

class AlertAnswers : public ApprovalAlert, public testing::WithParamInterface<AnswerCase> {};

TEST_P(AlertAnswers, ShowTheNameVerbatimAndTheButtonsInTheirOrderAndAnswerOnce) {
    const AnswerCase& answer = GetParam();
    const QString name = QStringLiteral("Tom & Jerry_<b>x</b><img src=/etc/hostname> “Ёжик”");
    ask(answer.pairing, name.toStdString(), answer.menu);
    const auto buttons = activeAlert(answer.pairing ? "Allow “" + name + "” to control this computer?"
                                                    : "Allow “" + name + "” to view this computer’s screen?");
    ASSERT_FALSE(buttons.isEmpty());
    if (!answer.pairing) {
        const QString glyphPlace = answer.menu == MenuPlace::tray ? QStringLiteral("in the system tray")
                                                                  : QStringLiteral("in the Orvik Helper window");
        EXPECT_EQ(qobject_cast<QMessageBox*>(buttons.front()->window())->informativeText(),
                  "It will see everything on the screen while viewing. The Orvik icon " + glyphPlace +
                      " shows when someone is viewing, and you can stop it there.");
    }
    QStringList labels;
    for (auto* button : buttons) labels.append(button->text());
    const QStringList expectedLabels =
        answer.pairing ? QStringList{"Allow", "Deny"} : QStringList{"Allow Once", "Always Allow", "Don’t Allow"};
    ASSERT_EQ(labels, expectedLabels);

    if (*answer.key) {
        xdotool({"xdotool", "key", answer.key});
    } else {
        click(buttons.at(answer.button));
    }
    ASSERT_TRUE(processUntil([this] { return !answers.empty(); }));
    QApplication::processEvents();
    EXPECT_EQ(answers, std::vector<std::string>{answer.expected});
}

INSTANTIATE_TEST_SUITE_P(ByKeyAndClick, AlertAnswers,
                         testing::Values(AnswerCase{"PairingReturnAllows", true, "Return", 0, "true"},
                                         AnswerCase{"PairingEscapeDenies", true, "Escape", 0, "false"},
                                         AnswerCase{"PairingDenyClicked", true, "", 1, "false"},
                                         AnswerCase{"ScreenReturnAllowsOnce", false, "Return", 0, "allowOnce"},
                                         AnswerCase{"ScreenEscapeDenies", false, "Escape", 0, "deny",
                                                    MenuPlace::window},
                                         AnswerCase{"ScreenAlwaysAllowClicked", false, "", 1, "alwaysAllow"},
                                         AnswerCase{"ScreenDontAllowClicked", false, "", 2, "deny"}),
                         [](const auto& parameter) { return std::string(parameter.param.name); });

// Modal boxes or nested event loops could only be answered newest first.
TEST_F(ApprovalAlert, TheEarlierOfTwoOpenQuestionsIsAnsweredFirst) {
    ask(true, "Earlier");
    const auto earlier = activeAlert("Allow “Earlier” to control this computer?");
    ASSERT_FALSE(earlier.isEmpty());
    // Apart from the later box, which opens in the middle of the screen.
    earlier.front()->window()->move(0, 0);
    ASSERT_TRUE(processUntil([&earlier] { return earlier.front()->mapToGlobal(QPoint(0, 0)).y() < 200; }));
    ask(false, "Later");
    const auto later = activeAlert("Allow “Later” to view this computer’s screen?");
    ASSERT_FALSE(later.isEmpty());

    click(earlier.at(0));
    ASSERT_TRUE(processUntil([this] { return answers.size() == 1; }));
    click(later.at(1));
    ASSERT_TRUE(processUntil([this] { return answers.size() == 2; }));
    EXPECT_EQ(answers, (std::vector<std::string>{"true", "alwaysAllow"}));
}

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
