#include "ChildProcess.hpp"
#include "MenuFixtures.hpp"
#include "MenuOutline.hpp"
#include "TestApplication.hpp"
#include "WaitUntil.hpp"
#include "menubar/MenuBarGlyph.hpp"
#include "menubar/TrayPresence.hpp"

#include <gtest/gtest.h>

#include <QScreen>
#include <QToolButton>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
using Kind = HelperAppModel::MenuStatus::Kind;

bool eventually(const std::function<bool()>& condition) {
    return orvik::test::waitUntil(condition, 20s, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); });
}

// A real click through the X server, as a user's.
void click(QPoint at) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XTestFakeMotionEvent(display, -1, at.x(), at.y(), 0);
    XTestFakeButtonEvent(display, 1, True, 0);
    XTestFakeButtonEvent(display, 1, False, 0);
    XCloseDisplay(display);
}

class TrayTest : public testing::Test {
protected:
    void start(std::chrono::milliseconds trayGrace) {
        test::application();
        TrayPresence::Options options;
        options.trayGrace = trayGrace;
        options.trayPoll = 100ms;
        tray = std::make_unique<TrayPresence>(options);
        actions.setPaused = [this](bool paused) { calls.push_back(paused ? "pause" : "resume"); };
        tray->update(MenuSnapshot{}, actions, MenuBarGlyphState::idle);
        tray->show();
    }

    // Embedded in the tray's panel, which lies away from the screen's origin.
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
    start(500ms);
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

// Not a check: the pictures a person looks at, written to the test's working folder.
TEST_F(TrayDocked, SavesScreenshotsOfTheMenu) {
    start(500ms);
    ASSERT_TRUE(eventually([&] { return docked(); }));
    using test::viewers;
    const Date now = test::evening;
    std::vector<std::pair<std::string, MenuSnapshot>> looks(5);
    looks[0].first = "idle";
    looks[0].second.addresses = {{"192.168.1.20", 52000}};
    looks[1].first = "connected";
    looks[1].second.menuStatus = {Kind::connected, {"Ann’s iPhone"}};
    looks[1].second.addresses = {{"192.168.1.20", 52000}, {"fe80::1c2b", 52000}};
    looks[1].second.pairedDevices = {test::pairedDevice("Ann’s iPhone", now), test::pairedDevice(test::strangeName)};
    looks[1].second.updaterConfigured = true;
    looks[2].first = "paused";
    looks[2].second.menuStatus.kind = Kind::paused;
    looks[2].second.isPaused = true;
    looks[3].first = "viewing";
    looks[3].second.menuStatus = {Kind::connected, {"Ann’s iPhone", "Bob"}};
    looks[3].second.screenViewers = viewers({"Ann’s iPhone", "Bob"});
    looks[4].first = "sleep-timer";
    looks[4].second.sleepTimer = SleepTimer::Scheduled{PowerAction::sleep, now + 30min};
    for (auto& look : looks) look.second.now = now;
    const std::vector<MenuBarGlyphState> glyphs{MenuBarGlyphState::idle, MenuBarGlyphState::connected,
                                                MenuBarGlyphState::slashed, MenuBarGlyphState::viewing,
                                                MenuBarGlyphState::idle};
    for (std::size_t index = 0; index < looks.size(); ++index) {
        tray->update(looks[index].second, actions, glyphs[index]);
        tray->menu().popup({900, 40});
        ASSERT_TRUE(eventually([&] { return tray->menu().isVisible(); }));
        EXPECT_TRUE(tray->menu().grab().save(QString::fromStdString("menu-" + looks[index].first + ".png")));
        // Only for the pictures: the tray repaints the icon when its events come round.
        const auto painted = std::chrono::steady_clock::now() + 300ms;
        eventually([&] { return std::chrono::steady_clock::now() > painted; });
        const QRect panel = tray->trayIcon().geometry().adjusted(-40, -4, 40, 4);
        QGuiApplication::primaryScreen()
            ->grabWindow(0, panel.x(), panel.y(), panel.width(), panel.height())
            .save(QString::fromStdString("tray-" + looks[index].first + ".png"));
        tray->menu().hide();
    }
}

using TrayMissing = TrayTest;

TEST_F(TrayMissing, AWindowHoldsTheMenuUntilATrayAppears) {
    start(300ms);
    TrayFallbackWindow& window = tray->fallbackWindow();
    ASSERT_TRUE(eventually([&] { return window.isVisible(); }));
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(window.menuButton().menu(), &tray->menu());
    window.grab().save(QStringLiteral("fallback-window.png"));
    window.close();
    EXPECT_TRUE(eventually([&] { return window.isMinimized(); }));
    EXPECT_TRUE(window.isVisible());

    orvik::test::ChildProcess trayer({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "240",
                               "--height", "28", "--SetDockType", "true"});
    EXPECT_TRUE(eventually([&] { return !window.isVisible() && docked(); }));
}

} // namespace
} // namespace orvik::helper
