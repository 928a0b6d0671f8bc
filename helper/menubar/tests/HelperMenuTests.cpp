#include "MenuTestSupport.hpp"
#include "menubar/MenuRenderer.hpp"

#include <gtest/gtest.h>

#include <QMenu>

#include <algorithm>
#include <functional>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
using Kind = HelperAppModel::MenuStatus::Kind;
using Lines = std::vector<std::string>;

const PairedDevice strangePhone =
    test::pairedDevice(test::strangeName, std::nullopt, Uuid::parse("11111111-2222-3333-4444-555555555555").value());

const Lines idleTail{"B Pair iPhone…",
                     "> Paired Devices",
                     "  T No paired devices",
                     "[ ] Pause Orvik (Ctrl+Alt+Super+P)",
                     "-",
                     "B Settings… ⌨Ctrl+,",
                     "T Check for Updates…",
                     "B Help",
                     "-",
                     "B Self-test: draw a small circle with the pointer",
                     "B Show Onboarding",
                     "-",
                     "B Quit Orvik Helper ⌨Ctrl+Q"};

Lines withTail(Lines head, const Lines& tail = idleTail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

struct MenuCase {
    std::string name;
    std::function<void(MenuSnapshot&)> change;
    Lines lines;
};

class MenuTable : public testing::TestWithParam<MenuCase> {};

TEST_P(MenuTable, ShowsTheSnapshotLineByLine) {
    MenuSnapshot snapshot;
    snapshot.now = test::evening;
    GetParam().change(snapshot);
    EXPECT_EQ(test::outline(HelperMenu::items(snapshot, {})), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MenuTable,
    testing::Values(MenuCase{"Idle", [](MenuSnapshot&) {}, withTail({"T Ready", "-"})},
                    MenuCase{"ConnectedWithTwoAddresses",
                             [](MenuSnapshot& s) {
                                 s.menuStatus = {Kind::connected, {"Ann", "Bob", "Cy"}};
                                 s.addresses = {{"192.168.1.5", 4040}, {"fe80::1", 4040}};
                                 s.updaterConfigured = true;
                             },
                             withTail({"T Connected: Ann, Bob, and Cy", "T This computer: 192.168.1.5:4040",
                                       "T This computer: [fe80::1]:4040", "-", "B Pair iPhone…", "> Paired Devices",
                                       "  T No paired devices", "[ ] Pause Orvik (Ctrl+Alt+Super+P)", "-",
                                       "B Settings… ⌨Ctrl+,", "B Check for Updates…"},
                                      {idleTail.begin() + 7, idleTail.end()})},
                    MenuCase{"TwoViewers",
                             [](MenuSnapshot& s) {
                                 s.menuStatus = {Kind::connected, {"Ann", "Bob"}};
                                 s.screenViewers = test::viewers({"Ann", "Bob"});
                             },
                             withTail({"T Connected: Ann and Bob", "-", "T Viewing your screen: Ann and Bob",
                                       "B Stop Viewing", "-"})},
                    MenuCase{"NeedsPermission", [](MenuSnapshot& s) { s.menuStatus.kind = Kind::needsPermission; },
                             withTail({"T Needs permission", "B Allow Control…", "-"})},
                    MenuCase{
                        "PausedWithSleepTimerAndDevices",
                        [](MenuSnapshot& s) {
                            s.menuStatus.kind = Kind::paused;
                            s.isPaused = true;
                            s.sleepTimer = SleepTimer::Scheduled{PowerAction::shutDown, test::evening + 30min};
                            s.pairedDevices = {strangePhone, test::pairedDevice("Ann’s iPhone", test::evening - 3h)};
                        },
                        withTail({"T Paused", "-", "B Pair iPhone…", "> Paired Devices", "  > " + test::strangeName,
                                  "    T Never connected", "    B Remove", "  > Ann’s iPhone",
                                  "    T Last seen 3 hours ago", "    B Remove", "T Shut down at 10:30 PM",
                                  "B Cancel Shut down", "[x] Pause Orvik (Ctrl+Alt+Super+P)"},
                                 {idleTail.begin() + 4, idleTail.end()})}),
    [](const testing::TestParamInfo<MenuCase>& param) { return param.param.name; });

// Every action records what it was asked to do.
MenuActions recording(Lines& calls) {
    auto note = [&calls](std::string call) { return [&calls, call] { calls.push_back(call); }; };
    return {note("startPairing"),
            [&calls](const PairedDevice& device) { calls.push_back("remove " + device.id.text()); },
            [&calls](bool paused) { calls.push_back(paused ? "pause" : "resume"); },
            note("stopScreenViewing"),
            note("cancelSleepTimer"),
            note("runSelfTest"),
            note("checkForUpdates"),
            [&calls](std::string_view id) { calls.push_back("open " + std::string(id)); },
            note("openSettings"),
            note("quit")};
}

// Chooses every item that does something, top to bottom, submenus included.
void chooseAll(const std::vector<MenuItem>& items) {
    for (const MenuItem& item : items) {
        if (item.run && item.enabled) item.run();
        chooseAll(item.children);
    }
}

TEST(MenuActions, EachItemCallsItsOwnAction) {
    MenuSnapshot snapshot;
    snapshot.menuStatus.kind = Kind::needsPermission;
    snapshot.screenViewers = test::viewers({"Ann"});
    snapshot.pairedDevices = {strangePhone};
    snapshot.sleepTimer = SleepTimer::Scheduled{PowerAction::sleep, test::evening};
    snapshot.isPaused = true;
    snapshot.updaterConfigured = true;
    Lines calls;
    chooseAll(HelperMenu::items(snapshot, recording(calls)));
    EXPECT_EQ(calls, (Lines{"open fixPermission", "stopScreenViewing", "startPairing", "open pairing",
                            "remove 11111111-2222-3333-4444-555555555555", "cancelSleepTimer", "resume", "openSettings",
                            "checkForUpdates", "open help", "runSelfTest", "open onboarding", "quit"}));
}

TEST(MenuRenderer, ShowsNamesVerbatimAndUpdatesFromInsideAnActionWithoutLeftovers) {
    test::application();
    QMenu menu;
    MenuRenderer renderer(menu);
    MenuSnapshot snapshot;
    snapshot.pairedDevices = {strangePhone};
    MenuActions actions;
    // Pausing changes the model, which updates the menu while Qt is still delivering the chosen action.
    actions.setPaused = [&](bool paused) {
        snapshot.isPaused = paused;
        renderer.update(HelperMenu::items(snapshot, actions));
    };
    renderer.update(HelperMenu::items(snapshot, actions));
    EXPECT_EQ(menu.actions()[3]->menu()->actions()[0]->text().toStdString(),
              "Tom && Jerry_<b>x</b><img src=/etc/hostname>");
    EXPECT_EQ(menu.actions()[6]->shortcut().toString().toStdString(), "Ctrl+,");
    for (bool paused : {true, false}) {
        menu.actions()[4]->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(snapshot.isPaused, paused);
        EXPECT_EQ(menu.actions()[4]->isChecked(), paused);
    }
    EXPECT_EQ(menu.findChildren<QMenu*>().size(), 2); // no submenu left over
}

} // namespace
} // namespace orvik::helper
