#include "SettingsFixture.hpp"
#include "settings/HelpWindow.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

namespace orvik::helper {
namespace {

struct TabTexts {
    const char* tab;
    const char* texts; // joined by "|"
    bool updaterConfigured = true;
    MenuPlace menu = MenuPlace::tray;
    SettingsLinks links = {};
    const char* linkButton = nullptr; // opens the one link given
};
void PrintTo(const TabTexts& texts, std::ostream* out) {
    *out << texts.tab << (texts.updaterConfigured ? "" : " without updates")
         << (texts.menu == MenuPlace::window ? " with the menu in a window" : "")
         << (texts.linkButton ? " with a settings link" : "");
}
class SettingsTexts : public SettingsFixture, public testing::WithParamInterface<TabTexts> {};

TEST_P(SettingsTexts, TabShowsItsTextsInOrder) {
    updaterConfigured = GetParam().updaterConfigured;
    links = GetParam().links;
    create();
    model->setMenuPlace(GetParam().menu);
    EXPECT_EQ(test::visibleTexts(showTab(GetParam().tab)).join("|"), GetParam().texts);
    EXPECT_EQ(window->windowTitle(), GetParam().tab);
    EXPECT_EQ(window->size(), QSize(560, 400));
    if (GetParam().linkButton) {
        shown<QPushButton>(GetParam().linkButton)->click();
        EXPECT_EQ(openedLinks, std::vector<std::string>{"settings:pane"});
    }
}

// A tab given a settings link shows a button that opens it; without one (as on Linux) the rows above show none.
SettingsLinks only(std::optional<std::string> SettingsLinks::*link) {
    SettingsLinks links{std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
    links.*link = "settings:pane";
    return links;
}

INSTANTIATE_TEST_SUITE_P(
    EveryTab, SettingsTexts,
    testing::Values(
        TabTexts{"General", "Open Orvik Helper when you log in|Pause shortcut Ctrl+Alt+Super+P|Notify me when an "
                            "iPhone connects"},
        TabTexts{"General",
                 "Open Orvik Helper when you log in|Open Login Items Settings|Pause shortcut Ctrl+Alt+Super+P|Notify "
                 "me when an iPhone connects",
                 true, MenuPlace::tray, only(&SettingsLinks::loginItems), "Open Login Items Settings"},
        TabTexts{"Devices", "Paired iPhones and iPads|No paired devices yet. Choose Pair iPhone… in the system tray."
                            "|Allow automatically when scanned|Scanning the code already proves the phone is next to "
                            "this computer. Turn this off to confirm every new device."},
        TabTexts{"Devices",
                 "Paired iPhones and iPads|No paired devices yet. Choose Pair iPhone… in the Orvik Helper window."
                 "|Allow automatically when scanned|Scanning the code already proves the phone is next to "
                 "this computer. Turn this off to confirm every new device.",
                 true, MenuPlace::window},
        TabTexts{"Pointer", "Scrolling|Smooth (recommended)|Try trackpad-style phases if an app ignores scrolling "
                            "from Orvik.|Presentation overlay|Color|Aurora|Size|Medium"},
        TabTexts{"Power", "From a paired iPhone|Allow restart|Allow shut down|Allow log out|Lock, sleep and display "
                          "sleep are always available. Your iPhone asks for confirmation before each action."},
        TabTexts{"Screen", "Allow iPhones to view this computer’s screen|Each iPhone asks the first time. Viewing "
                           "works only on your local network and is encrypted like every other Orvik connection.|"
                           "Screen Recording|Not allowed yet|Screen viewing needs an X11 session. Log in to an Xorg "
                           "session, then reopen Orvik Helper."},
        TabTexts{"Screen",
                 "Allow iPhones to view this computer’s screen|Each iPhone asks the first time. Viewing works only on "
                 "your local network and is encrypted like every other Orvik connection.|Screen Recording|Not allowed "
                 "yet|Open System Settings|Screen viewing needs an X11 session. Log in to an Xorg session, then reopen "
                 "Orvik Helper.",
                 true, MenuPlace::tray, only(&SettingsLinks::screenRecording), "Open System Settings"},
        TabTexts{"Updates", "Check for updates automatically|Check Now|Update checks are the only requests Orvik "
                            "Helper makes outside your local network."},
        TabTexts{"Updates",
                 "Updates aren’t configured in this build.|Update checks are the only requests Orvik "
                 "Helper makes outside your local network.",
                 false},
        TabTexts{"Permissions", "Control the pointer and keyboard|On|Local network|On"},
        TabTexts{"Permissions",
                 "Control the pointer and keyboard|On|Local network|On|Restart, shut down, log out|Open Automation "
                 "Settings",
                 true, MenuPlace::tray, only(&SettingsLinks::automation), "Open Automation Settings"},
        TabTexts{"Permissions", "Control the pointer and keyboard|On|Local network|On|Firewall|Open Firewall Settings",
                 true, MenuPlace::tray, only(&SettingsLinks::firewall), "Open Firewall Settings"}));

struct ControlCase {
    const char* tab;
    const char* control;
    int option; // for a picker: the option chosen; -1 for a check box
    std::function<void(HelperPreferences&)> change;
};
class SettingsControls : public SettingsFixture, public testing::WithParamInterface<ControlCase> {};

TEST_P(SettingsControls, ControlWritesItsOneFieldWithOneServerUpdate) {
    create();
    showTab(GetParam().tab);
    HelperPreferences expected = model->preferences();
    GetParam().change(expected);
    const bool changes = expected != model->preferences();
    if (GetParam().option < 0) {
        shown<QCheckBox>(GetParam().control)->click();
    } else {
        auto* picker = shown<QComboBox>(GetParam().control);
        picker->setCurrentIndex(GetParam().option);
        emit picker->activated(GetParam().option);
    }
    settle();
    EXPECT_EQ(model->preferences(), expected);
    EXPECT_EQ(load(), expected);
    EXPECT_EQ(saves, changes ? 1 : 0);
}

using Prefs = HelperPreferences;
INSTANTIATE_TEST_SUITE_P(
    EveryControl, SettingsControls,
    testing::Values(
        ControlCase{"General", "Pause shortcut Ctrl+Alt+Super+P", -1, [](Prefs& p) { p.pauseHotKeyEnabled = false; }},
        ControlCase{"General", "Notify me when an iPhone connects", -1,
                    [](Prefs& p) { p.showConnectionNotifications = false; }},
        ControlCase{"Devices", "Allow automatically when scanned", -1, [](Prefs& p) { p.autoAllowOnScan = false; }},
        ControlCase{"Pointer", "Smooth (recommended)", 1, [](Prefs& p) { p.scrollMode = ScrollMode::phased; }},
        ControlCase{"Pointer", "Aurora", 2, [](Prefs& p) { p.overlayColor = Prefs::OverlayColor::white; }},
        ControlCase{"Pointer", "Medium", 0, [](Prefs& p) { p.overlaySize = Prefs::OverlaySize::small; }},
        ControlCase{"Power", "Allow restart", -1, [](Prefs& p) { p.allowRestart = false; }},
        ControlCase{"Power", "Allow shut down", -1, [](Prefs& p) { p.allowShutDown = false; }},
        ControlCase{"Power", "Allow log out", -1, [](Prefs& p) { p.allowLogOut = false; }},
        ControlCase{"Screen", "Allow iPhones to view this computer’s screen", -1,
                    [](Prefs& p) { p.screenViewingEnabled = true; }},
        // The option already chosen: an equal record, nothing sent.
        ControlCase{"Pointer", "Aurora", 0, [](Prefs&) {}}));

TEST_F(SettingsFixture, PhonesAreListedWithTheirStateUntilRemovedStoppedOrForgotten) {
    const auto kept = pair("<b>Anna’s iPhone</b>", std::chrono::system_clock::now() - std::chrono::hours(3));
    const auto removed = pair("Work iPad");
    HelperPreferences preferences;
    preferences.screenViewingDevices = {kept.id, Uuid::random()};
    save(preferences);
    create();
    publish(ServerEvent::devices(store->devices()));
    publish(ServerEvent::connections({{Uuid::random(), removed.id, "Work iPad", "10.0.0.2"},
                                      {Uuid::random(), Uuid::random(), "Stranger", "10.0.0.3"}}));
    publish(ServerEvent::screenViewers(
        {{Uuid::random(), kept.id, "Viewer", "10.0.0.2"}, {Uuid::random(), Uuid::random(), "Viewer", "10.0.0.3"}}));
    const QWidget* devices = showTab("Devices");
    EXPECT_EQ(test::visibleTexts(devices).mid(0, 8),
              QStringList({"Paired iPhones and iPads", "<b>Anna’s iPhone</b>", "Last seen 3 hours ago", "Remove",
                           "Work iPad", "Never connected", "Connected", "Remove"}));
    EXPECT_EQ(shown<QLabel>("<b>Anna’s iPhone</b>")->textFormat(), Qt::PlainText);
    for (auto* button : devices->findChildren<QPushButton*>()) {
        EXPECT_TRUE(button->toolTip().isEmpty());
        if (button->accessibleName() == "Remove Work iPad") button->click();
    }
    settle();
    EXPECT_EQ(model->pairedDevices(), std::vector<PairedDevice>{kept});
    EXPECT_FALSE(test::visibleTexts(devices).contains("Work iPad"));

    EXPECT_EQ(test::visibleTexts(showTab("Screen")).mid(5),
              QStringList({"Viewing now", "Viewer", "Viewer", "Stop Viewing", "Always allowed", "<b>Anna’s iPhone</b>",
                           "Ask Again Next Time"}));
    shown<QPushButton>("Stop Viewing")->click();
    settle();
    EXPECT_NE(shown<QGroupBox>("Viewing now"), nullptr);
    publish(ServerEvent::screenViewers({}));
    EXPECT_EQ(shown<QGroupBox>("Viewing now"), nullptr);
    shown<QPushButton>("Ask Again Next Time")->click();
    settle();
    EXPECT_TRUE(model->preferences().screenViewingDevices.empty());
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(shown<QGroupBox>("Always allowed"), nullptr);
}

TEST_F(SettingsFixture, MirrorsAndPermissionsAreReadWhenTheirTabComesOnScreen) {
    launchesAtLogin = automaticChecks = true;
    canPost = false;
    create();
    // Shown on General: the mirror loads, and the load writes back as a change.
    EXPECT_TRUE(shown<QCheckBox>("Open Orvik Helper when you log in")->isChecked());
    EXPECT_EQ(launchAtLoginWrites, std::vector<bool>{true});
    showTab("Permissions");
    shown<QPushButton>("Fix…")->click();
    EXPECT_EQ(opened, std::vector<std::string>{"fixPermission"});
    canPost = true;
    showTab("Updates");
    shown<QCheckBox>("Check for updates automatically")->click();
    EXPECT_FALSE(automaticChecks);
    shown<QPushButton>("Check Now")->click();
    shown<QPushButton>("Check Now")->click();
    EXPECT_EQ(updateChecks, 2);
    showTab("Permissions");
    EXPECT_EQ(shown<QPushButton>("Fix…"), nullptr);
}

void saveScreenshot(QWidget* window, const QString& name) {
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(QStringLiteral(ORVIK_SCREENSHOT_DIR "/%1.png").arg(name)));
}

TEST_F(SettingsFixture, EveryTabWithManyDevicesShowsEverythingWhole) {
    std::vector<ConnectedDevice> connections;
    HelperPreferences preferences;
    for (int i = 0; i < 9; ++i) {
        const auto device = pair("iPhone of a colleague with a rather long name " + std::to_string(i + 1),
                                 std::chrono::system_clock::now() - std::chrono::hours(24 * i));
        if (i % 3 == 0) connections.push_back({Uuid::random(), device.id, device.name, "10.0.0.9"});
        if (i < 4) preferences.screenViewingDevices.push_back(device.id);
    }
    save(preferences);
    create();
    publish(ServerEvent::devices(store->devices()));
    publish(ServerEvent::connections(connections));
    publish(ServerEvent::screenViewers(connections));
    for (int i = 0; i < window->tabs()->count(); ++i) {
        showTab(window->tabs()->tabText(i));
        test::expectNothingClipped(window.get());
        saveScreenshot(window.get(), "settings-" + window->tabs()->tabText(i).toLower());
    }
}

// The key reaches the window through the control that has the focus, as a user's press does.
void pressOn(QWidget* control, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    ASSERT_NE(control, nullptr);
    QTest::keyClick(control, key, modifiers);
}

TEST_F(SettingsFixture, EscapeAndCtrlWCloseTheSettingsAndHelpWindows) {
    create();
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_Escape, Qt::KeyboardModifiers()},
                                         std::pair{Qt::Key_W, Qt::KeyboardModifiers(Qt::ControlModifier)}}) {
        window->show();
        pressOn(window->tabs()->currentWidget()->findChild<QCheckBox*>(), key, modifiers);
        EXPECT_FALSE(window->isVisible()) << "settings, key " << key;
        HelpWindow help;
        help.show();
        pressOn(help.findChild<QScrollArea*>()->viewport(), key, modifiers);
        EXPECT_FALSE(help.isVisible()) << "help, key " << key;
    }
    window->show();
    pressOn(window->tabs()->currentWidget()->findChild<QCheckBox*>(), Qt::Key_W);
    EXPECT_TRUE(window->isVisible()) << "W alone";
}

TEST(HelpWindow, ShowsTheSevenTopicsWithTheirLinuxTextsScrolledInAFixedWindowAndWrappedWhole) {
    HelpWindow window;
    window.show();
    const QStringList texts = test::visibleTexts(&window);
    ASSERT_EQ(texts.size(), 14);
    EXPECT_EQ(QStringList({texts[0], texts[2], texts[4], texts[6], texts[8], texts[10], texts[12]}).join("|"),
              "Pair an iPhone|My iPhone can’t find this computer|The pointer doesn’t move|Typing doesn’t work in a "
              "password field|Gestures and shortcuts|Waking a sleeping computer|Stop control instantly");
    EXPECT_EQ(texts[13], "Choose Pause Orvik in the system tray or press Ctrl+Alt+Super+P. Remove a device in "
                         "Settings > Devices to revoke it.");
    window.showMenuPlace(MenuPlace::window);
    EXPECT_EQ(test::visibleTexts(&window)[13], "Choose Pause Orvik in the Orvik Helper window or press "
                                               "Ctrl+Alt+Super+P. Remove a device in Settings > Devices to revoke it.");
    window.showMenuPlace(MenuPlace::tray);
    EXPECT_EQ(window.windowTitle(), "Orvik Helper Help");
    EXPECT_EQ(window.size(), QSize(480, 460));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    auto* scroll = window.findChild<QScrollArea*>();
    EXPECT_GT(scroll->widget()->height(), scroll->viewport()->height());
    test::expectNothingClipped(&window);
    saveScreenshot(&window, "help-top");
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    saveScreenshot(&window, "help-bottom");
}

} // namespace
} // namespace orvik::helper
