#include "ChildProcess.hpp"
#include "MenuTestSupport.hpp"
#include "WaitUntil.hpp"
#include "menubar/TrayInk.hpp"
#include "menubar/TrayPresence.hpp"

#include <gtest/gtest.h>

#include <QScreen>
#include <QToolButton>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

// Embedded in the tray's panel, away from the screen's origin where an undocked icon reports itself; absent until
// a tray was there.
bool docked(const QSystemTrayIcon* icon) {
    return icon != nullptr && !icon->geometry().isEmpty() && icon->geometry().topLeft() != QPoint(0, 0);
}

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

    bool docked() { return orvik::helper::docked(tray->trayIcon()); }

    std::unique_ptr<TrayPresence> tray;
    MenuActions actions;
    std::vector<std::string> calls;
};

using TrayDocked = TrayTest;

TEST_F(TrayDocked, ShowsTheIconWhoseClickOpensTheMenuWhoseItemsAct) {
    ASSERT_TRUE(eventually([&] { return docked(); }));
    click(tray->trayIcon()->geometry().center());
    ASSERT_TRUE(eventually([&] { return tray->menu().isVisible(); }));
    QAction* pause = tray->menu().actions()[4];
    ASSERT_EQ(pause->text().toStdString(), "Pause Orvik (Ctrl+Alt+Super+P)");
    click(tray->menu().mapToGlobal(tray->menu().actionGeometry(pause).center()));
    EXPECT_TRUE(eventually([&] { return calls == std::vector<std::string>{"pause"}; }));
    EXPECT_FALSE(tray->fallbackWindow().isVisible());
    EXPECT_EQ(tray->trayIcon()->toolTip(), QStringLiteral("Orvik Helper"));
}

// A key pressed with Control through the X server, as a user's; reaches whatever has the keyboard (an open menu
// grabs it).
void pressWithControl(KeySym key) {
    Display* display = XOpenDisplay(nullptr);
    const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
    XTestFakeKeyEvent(display, control, True, 0);
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, key), True, 0);
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, key), False, 0);
    XTestFakeKeyEvent(display, control, False, 0);
    XCloseDisplay(display);
}

TEST_F(TrayDocked, TheShortcutsTheMenuShowsWorkInTheOpenMenuAndInTheApplicationsWindows) {
    actions.quit = [this] { calls.push_back("quit"); };
    actions.openSettings = [this] { calls.push_back("settings"); };
    tray->update(MenuSnapshot{}, actions, MenuBarGlyphState::idle);
    // Docking takes the keyboard from an open menu.
    ASSERT_TRUE(eventually([&] { return docked(); }));
    tray->menu().popup({900, 40});
    ASSERT_TRUE(eventually([&] { return tray->menu().isVisible(); }));
    pressWithControl(XK_q);
    EXPECT_TRUE(eventually([&] { return calls == std::vector<std::string>{"quit"}; }));
    EXPECT_TRUE(eventually([&] { return !tray->menu().isVisible(); }));

    QWidget window;
    window.setWindowTitle(QStringLiteral("A window of the helper"));
    window.resize(200, 100);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(eventually([&] { return window.isActiveWindow(); }));
    pressWithControl(XK_comma);
    EXPECT_TRUE(eventually([&] { return calls == std::vector<std::string>{"quit", "settings"}; }));
}

// The tray sits at the right edge: the menu opens leftwards and so does "Paired Devices"; a phone's submenu then
// opens to the left of that one, not back over the tray menu.
TEST_F(TrayDocked, APhonesSubmenuOpensBesideItsMenuNotOverTheTrayMenu) {
    MenuSnapshot snapshot;
    snapshot.pairedDevices = {test::pairedDevice("Ann’s iPhone"), test::pairedDevice("Bob")};
    snapshot.pairedDevices[1].id = Uuid::random();
    tray->update(snapshot, actions, MenuBarGlyphState::idle);
    QMenu& menu = tray->menu();
    menu.popup({QGuiApplication::primaryScreen()->geometry().right() - 2, 40});
    ASSERT_TRUE(eventually([&] { return menu.isVisible(); }));
    QAction* paired = menu.actions()[3];
    ASSERT_EQ(paired->text().toStdString(), "Paired Devices");
    menu.setActiveAction(paired);
    QMenu* devices = paired->menu();
    ASSERT_TRUE(eventually([&] { return devices->isVisible(); }));
    devices->setActiveAction(devices->actions()[0]);
    QMenu* phone = devices->actions()[0]->menu();
    ASSERT_TRUE(eventually([&] { return phone->isVisible(); }));
    EXPECT_FALSE(phone->geometry().intersects(menu.geometry()))
        << "menu " << menu.geometry().x() << ".." << menu.geometry().right() << ", phone's submenu "
        << phone->geometry().x() << ".." << phone->geometry().right();
    EXPECT_FALSE(phone->geometry().intersects(devices->geometry()));
    menu.hide();
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
        const QRect panel = tray->trayIcon()->geometry().adjusted(-40, -4, 40, 4);
        QGuiApplication::primaryScreen()
            ->grabWindow(0, panel.x(), panel.y(), panel.width(), panel.height())
            .save(QString::fromStdString("tray-" + name + ".png"));
        tray->menu().hide();
    }
}

// Panels dark and light (trayer tinted): the glyph stands out from both. Pictures of both go to the working folder.
TEST(TrayPanels, TheGlyphStandsOutFromDarkAndLightPanels) {
    test::application();
    for (const auto& [name, tint] : {std::pair{"dark", "0x404040"}, std::pair{"light", "0xe8e8e8"}}) {
        orvik::test::ChildProcess trayer({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                          "--width", "240", "--height", "28", "--SetDockType", "true", "--transparent",
                                          "true", "--alpha", "0", "--tint", tint});
        TrayPresence::Options options;
        options.trayGrace = 300ms;
        TrayPresence tray(options);
        tray.update(MenuSnapshot{}, {}, MenuBarGlyphState::connected);
        tray.show();
        ASSERT_TRUE(eventually([&] { return docked(tray.trayIcon()); })) << name;
        double contrast = 1;
        EXPECT_TRUE(eventually(
            [&] {
                contrast = test::contrastWithCorner(tray.trayIcon()->geometry());
                return contrast >= TrayInk::minimumContrast;
            },
            10s))
            << name << " panel: contrast " << contrast;
        const QRect panel = tray.trayIcon()->geometry().adjusted(-40, -4, 40, 4);
        QGuiApplication::primaryScreen()
            ->grabWindow(0, panel.x(), panel.y(), panel.width(), panel.height())
            .save(QString::fromStdString(std::string("tray-on-") + name + "-panel.png"));
    }
}

// The width the window manager gives the title in the frame around a window: in the title bar (a shown strip of
// the frame, lower than a line of buttons), the widest shown part that is wider than high (openbox's label; the
// icon and the buttons are square).
int titleLabelWidth(WId window) {
    Display* display = XOpenDisplay(nullptr);
    const auto childrenOf = [display](Window parentWindow) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        std::vector<Window> found;
        if (XQueryTree(display, parentWindow, &root, &parent, &children, &count)) {
            found.assign(children, children + count);
            XFree(children);
        }
        return std::pair{found, parent == root ? Window(0) : parent};
    };
    Window frame = window;
    while (Window parent = childrenOf(frame).second) frame = parent;
    int widest = 0;
    const auto shown = [display](Window candidate, XWindowAttributes& attributes) {
        return XGetWindowAttributes(display, candidate, &attributes) && attributes.map_state == IsViewable;
    };
    for (Window part : childrenOf(frame).first) {
        XWindowAttributes bar;
        if (!shown(part, bar) || bar.height >= 40) continue;
        for (Window piece : childrenOf(part).first) {
            XWindowAttributes attributes;
            if (!shown(piece, attributes)) continue;
            if (attributes.height >= 8 && attributes.width > attributes.height && attributes.width < bar.width) {
                widest = std::max(widest, attributes.width);
            }
        }
    }
    XCloseDisplay(display);
    return widest;
}

using TrayMissing = TrayTest;

TEST_F(TrayMissing, AWindowHoldsTheMenuUntilATrayAppears) {
    TrayFallbackWindow& window = tray->fallbackWindow();
    int placeChanges = 0;
    QObject::connect(tray.get(), &TrayPresence::menuPlaceChanged, [&] { ++placeChanges; });
    EXPECT_EQ(tray->menuPlace(), MenuPlace::tray) << "until the grace has passed";
    ASSERT_TRUE(eventually([&] { return window.isVisible(); }));
    EXPECT_EQ(tray->menuPlace(), MenuPlace::window);
    EXPECT_EQ(placeChanges, 1);
    EXPECT_EQ(window.windowTitle(), "Orvik Helper");
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(window.menuButton().menu(), &tray->menu());
    // Openbox draws the title in bold Sans at 8 points, elided where its label is narrower.
    const int titleWidth =
        QFontMetrics(QFont(QStringLiteral("Sans"), 8, QFont::Bold)).horizontalAdvance("Orvik Helper");
    int labelWidth = 0;
    EXPECT_TRUE(eventually([&] { return (labelWidth = titleLabelWidth(window.winId())) >= titleWidth; }, 5s))
        << "the title needs " << titleWidth << " px, the window manager gives it " << labelWidth;
    window.grab().save(QStringLiteral("fallback-window.png"));
    window.close();
    EXPECT_TRUE(eventually([&] { return window.isMinimized(); }));
    EXPECT_TRUE(window.isVisible());

    {
        orvik::test::ChildProcess trayer({"trayer", "--edge", "top", "--align", "right", "--SetDockType", "true"});
        EXPECT_TRUE(eventually([&] { return !window.isVisible() && docked(); }));
        EXPECT_EQ(tray->menuPlace(), MenuPlace::tray);
    }
    // The tray goes away: the window stands in again.
    EXPECT_TRUE(eventually([&] { return window.isVisible(); }));
    EXPECT_EQ(tray->menuPlace(), MenuPlace::window);
    EXPECT_EQ(placeChanges, 3);
}

} // namespace
} // namespace orvik::helper
