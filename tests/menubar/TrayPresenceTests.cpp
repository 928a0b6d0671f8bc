#include "ChildProcess.hpp"
#include "MenuTestSupport.hpp"
#include "WaitUntil.hpp"
#include "menubar/TrayPresence.hpp"

#include <gtest/gtest.h>

#include <QScreen>
#include <QToolButton>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s) {
    return orvik::test::waitUntil(condition, limit, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
}

// A real click through the X server, as a user's.
void click(QPoint at) {
    Display* display = XOpenDisplay(nullptr);
    XTestFakeMotionEvent(display, -1, at.x(), at.y(), 0);
    XTestFakeButtonEvent(display, 1, True, 0);
    XTestFakeButtonEvent(display, 1, False, 0);
    XCloseDisplay(display);
}

class TrayTest : public testing::Test {
protected:
    void SetUp() override {
        test::application();
        TrayPresence::Options options;
        options.trayGrace = 300ms;
        tray = std::make_unique<TrayPresence>(options);
        actions.setPaused = [this](bool paused) { calls.push_back(paused ? "pause" : "resume"); };
        tray->update(MenuSnapshot{}, actions, MenuBarGlyphState::idle);
        tray->show();
    }

    // Embedded in the tray's panel, away from the screen's origin where an undocked icon reports itself.
    bool docked() {
        const QRect icon = tray->trayIcon().geometry();
        return !icon.isEmpty() && icon.topLeft() != QPoint(0, 0);
    }

    std::unique_ptr<TrayPresence> tray;
    MenuActions actions;
    std::vector<std::string> calls;
};

using TrayDocked = TrayTest;

TEST_F(TrayDocked, ShowsTheIconWhoseClickOpensTheMenuWhoseItemsAct) {
    ASSERT_TRUE(eventually([&] { return docked(); }));
    click(tray->trayIcon().geometry().center());
    ASSERT_TRUE(eventually([&] { return tray->menu().isVisible(); }));
    QAction* pause = tray->menu().actions()[4];
    ASSERT_EQ(pause->text().toStdString(), "Pause Orvik (Ctrl+Alt+Super+P)");
    click(tray->menu().mapToGlobal(tray->menu().actionGeometry(pause).center()));
    EXPECT_TRUE(eventually([&] { return calls == std::vector<std::string>{"pause"}; }));
    EXPECT_FALSE(tray->fallbackWindow().isVisible());
    EXPECT_EQ(tray->trayIcon().toolTip(), QStringLiteral("Orvik Helper"));
}

// Not a check: the pictures a person looks at (menu and tray in five states), written to the working folder.
TEST_F(TrayDocked, SavesScreenshotsOfTheMenu) {
    ASSERT_TRUE(eventually([&] { return docked(); }));
    using Kind = HelperAppModel::MenuStatus::Kind;
    const std::vector<std::tuple<std::string, MenuBarGlyphState, std::function<void(MenuSnapshot&)>>> looks{
        {"idle", MenuBarGlyphState::idle,
         [](MenuSnapshot& s) {
             s.addresses = {{"192.168.1.20", 52000}};
         }},
        {"connected", MenuBarGlyphState::connected,
         [](MenuSnapshot& s) {
             s.menuStatus = {Kind::connected, {"Ann’s iPhone"}};
             s.addresses = {{"192.168.1.20", 52000}, {"fe80::1c2b", 52000}};
             s.pairedDevices = {test::pairedDevice("Ann’s iPhone", s.now), test::pairedDevice(test::strangeName)};
         }},
        {"paused", MenuBarGlyphState::slashed,
         [](MenuSnapshot& s) {
             s.menuStatus.kind = Kind::paused;
             s.isPaused = true;
         }},
        {"viewing", MenuBarGlyphState::viewing,
         [](MenuSnapshot& s) {
             s.menuStatus = {Kind::connected, {"Ann’s iPhone", "Bob"}};
             s.screenViewers = test::viewers({"Ann’s iPhone", "Bob"});
         }},
        {"sleep-timer", MenuBarGlyphState::idle, [](MenuSnapshot& s) {
             s.sleepTimer = SleepTimer::Scheduled{PowerAction::sleep, s.now + 30min};
         }}};
    for (const auto& [name, glyph, change] : looks) {
        MenuSnapshot snapshot;
        snapshot.now = test::evening;
        change(snapshot);
        tray->update(snapshot, actions, glyph);
        tray->menu().popup({900, 40});
        ASSERT_TRUE(eventually([&] { return tray->menu().isVisible(); }));
        tray->menu().grab().save(QString::fromStdString("menu-" + name + ".png"));
        eventually([] { return false; }, 300ms); // lets the tray repaint the icon
        const QRect panel = tray->trayIcon().geometry().adjusted(-40, -4, 40, 4);
        QGuiApplication::primaryScreen()
            ->grabWindow(0, panel.x(), panel.y(), panel.width(), panel.height())
            .save(QString::fromStdString("tray-" + name + ".png"));
        tray->menu().hide();
    }
}

using TrayMissing = TrayTest;

TEST_F(TrayMissing, AWindowHoldsTheMenuUntilATrayAppears) {
    TrayFallbackWindow& window = tray->fallbackWindow();
    ASSERT_TRUE(eventually([&] { return window.isVisible(); }));
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(window.menuButton().menu(), &tray->menu());
    window.grab().save(QStringLiteral("fallback-window.png"));
    window.close();
    EXPECT_TRUE(eventually([&] { return window.isMinimized(); }));
    EXPECT_TRUE(window.isVisible());

    orvik::test::ChildProcess trayer({"trayer", "--edge", "top", "--align", "right", "--SetDockType", "true"});
    EXPECT_TRUE(eventually([&] { return !window.isVisible() && docked(); }));
}

} // namespace
} // namespace orvik::helper
