#include "MenuFixtures.hpp"
#include "MenuOutline.hpp"
#include "menubar/MenuRenderer.hpp"

#include "TestApplication.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
using Status = HelperAppModel::MenuStatus;

using test::strangeName;
const Date now = test::evening;
const PairedDevice strangePhone =
    test::pairedDevice(strangeName, std::nullopt, Uuid::parse("11111111-2222-3333-4444-555555555555").value());
const PairedDevice seenPhone = test::pairedDevice("Ann’s iPhone", now - 3h);

// Every action records what it was asked to do.
struct Recorder {
    std::vector<std::string> calls;
    MenuActions actions() {
        auto note = [this](std::string call) { return [this, call] { calls.push_back(call); }; };
        return {note("startPairing"),
                [this](const PairedDevice& device) { calls.push_back("remove " + device.id.text()); },
                [this](bool paused) { calls.push_back(paused ? "pause" : "resume"); },
                note("stopScreenViewing"),
                note("cancelSleepTimer"),
                note("runSelfTest"),
                note("checkForUpdates"),
                [this](std::string_view id) { calls.push_back("open " + std::string(id)); },
                note("openSettings"),
                note("quit")};
    }
};

const std::vector<std::string> idleTail{"B Pair iPhone…",
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

std::vector<std::string> withTail(std::vector<std::string> head, const std::vector<std::string>& tail = idleTail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::vector<std::string> withUpdates(std::vector<std::string> lines) {
    std::replace(lines.begin(), lines.end(), std::string("T Check for Updates…"), std::string("B Check for Updates…"));
    return lines;
}

struct MenuCase {
    std::string name;
    std::function<void(MenuSnapshot&)> change;
    std::vector<std::string> lines;
};

class MenuTable : public testing::TestWithParam<MenuCase> {};

TEST_P(MenuTable, ShowsTheSnapshotLineByLine) {
    MenuSnapshot snapshot;
    snapshot.now = now;
    GetParam().change(snapshot);
    EXPECT_EQ(test::outline(HelperMenu::items(snapshot, {})), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MenuTable,
    testing::Values(MenuCase{"Idle", [](MenuSnapshot&) {}, withTail({"T Ready", "-"})},
                    MenuCase{"ConnectedWithTwoAddresses",
                             [](MenuSnapshot& s) {
                                 s.menuStatus = {Status::Kind::connected, {"Ann", "Bob", "Cy"}};
                                 s.addresses = {{"192.168.1.5", 4040}, {"fe80::1", 4040}};
                                 s.updaterConfigured = true;
                             },
                             withUpdates(withTail({"T Connected: Ann, Bob, and Cy", "T This computer: 192.168.1.5:4040",
                                                   "T This computer: [fe80::1]:4040", "-"}))},
                    MenuCase{"TwoViewers",
                             [](MenuSnapshot& s) {
                                 s.menuStatus = {Status::Kind::connected, {"Ann", "Bob"}};
                                 s.screenViewers = test::viewers({"Ann", "Bob"});
                             },
                             withTail({"T Connected: Ann and Bob", "-", "T Viewing your screen: Ann and Bob",
                                       "B Stop Viewing", "-"})},
                    MenuCase{"NeedsPermission",
                             [](MenuSnapshot& s) { s.menuStatus.kind = Status::Kind::needsPermission; },
                             withTail({"T Needs permission", "B Allow Control…", "-"})},
                    MenuCase{"OtherStatusLines", [](MenuSnapshot& s) { s.menuStatus.kind = Status::Kind::failed; },
                             withTail({"T Can’t listen for iPhones", "-"})},
                    MenuCase{"PausedWithSleepTimerAndDevices",
                             [](MenuSnapshot& s) {
                                 s.menuStatus.kind = Status::Kind::paused;
                                 s.isPaused = true;
                                 s.sleepTimer = SleepTimer::Scheduled{PowerAction::shutDown, now + 30min};
                                 s.pairedDevices = {strangePhone, seenPhone};
                             },
                             withTail({"T Paused", "-", "B Pair iPhone…", "> Paired Devices", "  > " + strangeName,
                                       "    T Never connected", "    B Remove", "  > Ann’s iPhone",
                                       "    T Last seen 3 hours ago", "    B Remove", "T Shut down at 10:30 PM",
                                       "B Cancel Shut down", "[x] Pause Orvik (Ctrl+Alt+Super+P)"},
                                      {idleTail.begin() + 4, idleTail.end()})}),
    [](const testing::TestParamInfo<MenuCase>& param) { return param.param.name; });

struct ActionCase {
    std::vector<std::string> path;
    std::vector<std::string> calls;
};

class MenuActionsTest : public testing::TestWithParam<ActionCase> {};

const MenuItem* find(const std::vector<MenuItem>& items, const std::vector<std::string>& path, std::size_t depth = 0) {
    for (const MenuItem& item : items) {
        if (item.title != path[depth]) continue;
        return depth + 1 == path.size() ? &item : find(item.children, path, depth + 1);
    }
    return nullptr;
}

TEST_P(MenuActionsTest, ChoosingAnItemCallsItsAction) {
    MenuSnapshot snapshot;
    snapshot.menuStatus.kind = Status::Kind::needsPermission;
    snapshot.screenViewers = test::viewers({"Ann"});
    snapshot.pairedDevices = {strangePhone};
    snapshot.sleepTimer = SleepTimer::Scheduled{PowerAction::sleep, now};
    snapshot.isPaused = true;
    snapshot.updaterConfigured = true;
    Recorder recorder;
    const std::vector<MenuItem> items = HelperMenu::items(snapshot, recorder.actions());
    const MenuItem* item = find(items, GetParam().path);
    ASSERT_NE(item, nullptr);
    ASSERT_TRUE(item->run);
    item->run();
    EXPECT_EQ(recorder.calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Items, MenuActionsTest,
    testing::Values(
        ActionCase{{"Allow Control…"}, {"open fixPermission"}}, ActionCase{{"Stop Viewing"}, {"stopScreenViewing"}},
        ActionCase{{"Pair iPhone…"}, {"startPairing", "open pairing"}},
        ActionCase{{"Paired Devices", strangeName, "Remove"}, {"remove 11111111-2222-3333-4444-555555555555"}},
        ActionCase{{"Cancel Sleep"}, {"cancelSleepTimer"}}, ActionCase{{"Pause Orvik (Ctrl+Alt+Super+P)"}, {"resume"}},
        ActionCase{{"Settings…"}, {"openSettings"}}, ActionCase{{"Check for Updates…"}, {"checkForUpdates"}},
        ActionCase{{"Help"}, {"open help"}},
        ActionCase{{"Self-test: draw a small circle with the pointer"}, {"runSelfTest"}},
        ActionCase{{"Show Onboarding"}, {"open onboarding"}}, ActionCase{{"Quit Orvik Helper"}, {"quit"}}));

TEST(MenuRenderer, ShowsNamesVerbatimAndRebuildsFromInsideAnAction) {
    test::application();
    QMenu menu;
    MenuSnapshot snapshot;
    snapshot.pairedDevices = {strangePhone};
    MenuActions actions;
    int rebuilds = 0;
    // Pausing changes the model, which rebuilds the menu while Qt is still delivering the chosen action.
    actions.setPaused = [&](bool paused) {
        snapshot.isPaused = paused;
        MenuRenderer::render(HelperMenu::items(snapshot, actions), menu);
        ++rebuilds;
    };
    MenuRenderer::render(HelperMenu::items(snapshot, actions), menu);
    std::vector<std::string> shown;
    test::outline(menu, shown, "");
    EXPECT_EQ(shown, test::outline(HelperMenu::items(snapshot, actions)));
    EXPECT_EQ(menu.actions()[3]->menu()->actions()[0]->text().toStdString(),
              "Tom && Jerry_<b>x</b><img src=/etc/hostname>");

    for (int round = 0; round < 2; ++round) {
        QAction* pause = menu.actions()[4];
        ASSERT_EQ(pause->text().toStdString(), "Pause Orvik (Ctrl+Alt+Super+P)");
        pause->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_EQ(rebuilds, 2);
    EXPECT_FALSE(snapshot.isPaused);
    EXPECT_EQ(menu.actions().size(), 14);
    EXPECT_EQ(menu.findChildren<QMenu*>().size(), 2);
}

} // namespace
} // namespace orvik::helper
