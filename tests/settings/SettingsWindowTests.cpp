#include "SettingsFixture.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <cctype>

namespace orvik::helper {
namespace {

QStringList list(std::initializer_list<const char*> texts) {
    QStringList result;
    for (const char* text : texts) result << QString::fromUtf8(text);
    return result;
}

// A test name from a text: its letters and digits.
std::string nameOf(const char* text) {
    std::string name;
    for (const char* at = text; *at; ++at) {
        if (std::isalnum(static_cast<unsigned char>(*at))) name += *at;
    }
    return name;
}

struct TabTexts {
    const char* tab;
    QStringList texts;
};

class SettingsTexts : public SettingsFixture, public testing::WithParamInterface<TabTexts> {};

TEST_P(SettingsTexts, TabShowsItsTextsInOrder) {
    create();
    const QWidget* content = showTab(QString::fromUtf8(GetParam().tab));
    EXPECT_EQ(test::visibleTexts(content), GetParam().texts);
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8(GetParam().tab));
    EXPECT_EQ(window->size(), QSize(560, 400));
}

INSTANTIATE_TEST_SUITE_P(
    EveryTab, SettingsTexts,
    testing::Values(
        TabTexts{"General", list({"Open Orvik Helper when you log in", "Pause shortcut Ctrl+Alt+Super+P",
                                  "Notify me when an iPhone connects"})},
        TabTexts{"Devices",
                 list({"Paired iPhones and iPads", "No paired devices yet. Choose Pair iPhone… in the system tray.",
                       "Allow automatically when scanned",
                       "Scanning the code already proves the phone is next to this computer. Turn this off to "
                       "confirm every new device."})},
        TabTexts{"Pointer", list({"Scrolling", "Smooth (recommended)",
                                  "Try trackpad-style phases if an app ignores scrolling from Orvik.",
                                  "Presentation overlay", "Color", "Aurora", "Size", "Medium"})},
        TabTexts{"Power", list({"From a paired iPhone", "Allow restart", "Allow shut down", "Allow log out",
                                "Lock, sleep and display sleep are always available. Your iPhone asks for "
                                "confirmation before each action."})},
        TabTexts{"Screen", list({"Allow iPhones to view this computer’s screen",
                                 "Each iPhone asks the first time. Viewing works only on your local network and is "
                                 "encrypted like every other Orvik connection.",
                                 "Screen Recording", "Not allowed yet",
                                 "Screen viewing needs an X11 session. Log in to an Xorg session, then reopen Orvik "
                                 "Helper."})},
        TabTexts{"Updates", list({"Check for updates automatically", "Check Now",
                                  "Update checks are the only requests Orvik Helper makes outside your local "
                                  "network."})},
        TabTexts{"Permissions", list({"Control the pointer and keyboard", "On", "Local network", "On"})}),
    [](const auto& test) { return nameOf(test.param.tab); });

struct ControlCase {
    const char* tab;
    const char* control;
    int option; // for a picker: the option chosen; -1 for a check box
    std::function<void(HelperPreferences&)> change;
};

class SettingsControls : public SettingsFixture, public testing::WithParamInterface<ControlCase> {};

TEST_P(SettingsControls, ControlWritesItsOneFieldWithOneServerUpdate) {
    create();
    showTab(QString::fromUtf8(GetParam().tab));
    HelperPreferences expected = model->preferences();
    GetParam().change(expected);
    const int savesBefore = preferencesStore->saves();
    const QString control = QString::fromUtf8(GetParam().control);
    if (GetParam().option < 0) {
        auto* toggle = shown<QCheckBox>(control);
        ASSERT_NE(toggle, nullptr);
        toggle->click();
    } else {
        auto* picker = shown<QComboBox>(control);
        ASSERT_NE(picker, nullptr);
        picker->setCurrentIndex(GetParam().option);
        emit picker->activated(GetParam().option);
    }
    settle();
    EXPECT_EQ(model->preferences(), expected);
    EXPECT_EQ(preferencesStore->load(), expected);
    EXPECT_EQ(preferencesStore->saves(), savesBefore + 1);
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
                    [](Prefs& p) { p.screenViewingEnabled = true; }}),
    [](const auto& test) { return nameOf(test.param.tab) + "_" + nameOf(test.param.control); });

TEST_F(SettingsFixture, ChoosingTheSelectedOptionSendsNothing) {
    create();
    showTab(QStringLiteral("Pointer"));
    auto* picker = shown<QComboBox>(QStringLiteral("Aurora"));
    ASSERT_NE(picker, nullptr);
    emit picker->activated(0);
    settle();
    EXPECT_EQ(preferencesStore->saves(), 0);
}

TEST_F(SettingsFixture, DevicesListEachPhoneWithItsStateAndRemoveTakesItAway) {
    const auto kept = pair("<b>Anna’s iPhone</b>", std::chrono::system_clock::now() - std::chrono::hours(3));
    const auto removed = pair("Work iPad");
    create();
    publish(ServerEvent::devices(store->devices()));
    publish(ServerEvent::connections({{Uuid::random(), removed.id, "Work iPad", "10.0.0.2"},
                                      {Uuid::random(), Uuid::random(), "Stranger", "10.0.0.3"}}));
    const QWidget* content = showTab(QStringLiteral("Devices"));
    EXPECT_EQ(test::visibleTexts(content).mid(0, 8),
              list({"Paired iPhones and iPads", "<b>Anna’s iPhone</b>", "Last seen 3 hours ago", "Remove", "Work iPad",
                    "Never connected", "Connected", "Remove"}));
    const auto* name = shown<QLabel>(QStringLiteral("<b>Anna’s iPhone</b>"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->textFormat(), Qt::PlainText);
    for (const auto* widget : content->findChildren<QWidget*>()) EXPECT_FALSE(widget->toolTip().contains("Anna"));

    QPushButton* remove = nullptr;
    for (auto* button : content->findChildren<QPushButton*>()) {
        if (button->accessibleName() == QStringLiteral("Remove Work iPad")) remove = button;
    }
    ASSERT_NE(remove, nullptr);
    remove->click();
    settle();
    EXPECT_EQ(model->pairedDevices(), std::vector<PairedDevice>{kept});
    EXPECT_FALSE(test::visibleTexts(content).contains(QStringLiteral("Work iPad")));
}

TEST_F(SettingsFixture, ScreenTabListsViewersAndAlwaysAllowedPhonesUntilTheyGo) {
    const auto allowed = pair("Anna’s iPhone");
    HelperPreferences preferences;
    preferences.screenViewingDevices = {allowed.id, Uuid::random()};
    preferencesStore->save(preferences);
    create();
    publish(ServerEvent::devices(store->devices()));
    const ConnectedDevice viewer{Uuid::random(), allowed.id, "Anna’s iPhone", "10.0.0.2"};
    publish(ServerEvent::screenViewers({viewer, {Uuid::random(), Uuid::random(), "Anna’s iPhone", "10.0.0.3"}}));
    const QWidget* content = showTab(QStringLiteral("Screen"));
    EXPECT_EQ(test::visibleTexts(content).mid(5), list({"Viewing now", "Anna’s iPhone", "Anna’s iPhone", "Stop Viewing",
                                                        "Always allowed", "Anna’s iPhone", "Ask Again Next Time"}));

    shown<QPushButton>(QStringLiteral("Stop Viewing"))->click();
    settle();
    EXPECT_NE(shown<QGroupBox>(QStringLiteral("Viewing now")), nullptr);
    publish(ServerEvent::screenViewers({}));
    EXPECT_EQ(shown<QGroupBox>(QStringLiteral("Viewing now")), nullptr);

    const int savesBefore = preferencesStore->saves();
    shown<QPushButton>(QStringLiteral("Ask Again Next Time"))->click();
    settle();
    EXPECT_TRUE(model->preferences().screenViewingDevices.empty());
    EXPECT_EQ(preferencesStore->saves(), savesBefore + 1);
    EXPECT_EQ(shown<QGroupBox>(QStringLiteral("Always allowed")), nullptr);
}

TEST_F(SettingsFixture, MirrorsAndPermissionsAreReadWhenTheirTabComesOnScreen) {
    loginItem->enabled = true;
    updater->automatic = true;
    canPost = false;
    create();
    // Shown on General: the mirror loads, and the load writes back as a change.
    EXPECT_TRUE(shown<QCheckBox>(QStringLiteral("Open Orvik Helper when you log in"))->isChecked());
    EXPECT_EQ(loginItem->writes, std::vector<bool>{true});

    showTab(QStringLiteral("Permissions"));
    shown<QPushButton>(QStringLiteral("Fix…"))->click();
    EXPECT_EQ(windows.opened, std::vector<std::string>{"fixPermission"});
    canPost = true;
    showTab(QStringLiteral("Updates"));
    EXPECT_TRUE(shown<QCheckBox>(QStringLiteral("Check for updates automatically"))->isChecked());
    shown<QCheckBox>(QStringLiteral("Check for updates automatically"))->click();
    EXPECT_FALSE(updater->automatic);
    shown<QPushButton>(QStringLiteral("Check Now"))->click();
    shown<QPushButton>(QStringLiteral("Check Now"))->click();
    EXPECT_EQ(updater->checks, 2);
    showTab(QStringLiteral("Permissions"));
    EXPECT_EQ(shown<QPushButton>(QStringLiteral("Fix…")), nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Permissions"));
}

TEST_F(SettingsFixture, AnUnconfiguredUpdaterOnlySaysSo) {
    updater->configured = false;
    create();
    EXPECT_EQ(test::visibleTexts(showTab(QStringLiteral("Updates"))),
              list({"Updates aren’t configured in this build.",
                    "Update checks are the only requests Orvik Helper makes outside your local network."}));
}

} // namespace
} // namespace orvik::helper
