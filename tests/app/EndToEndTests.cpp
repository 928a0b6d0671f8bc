#include "HelperUnderTest.hpp"
#include "WaitUntil.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

namespace orvik::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

std::optional<json> nextJson(ChildProcess& process, const std::string& key, const std::string& value) {
    while (auto line = process.readLine(generous)) {
        auto parsed = json::parse(*line, nullptr, false);
        if (parsed.is_object() && parsed.value(key, "") == value) return parsed;
    }
    return std::nullopt;
}

std::pair<int, int> pointer() {
    std::istringstream location(output({"xdotool", "getmouselocation"}));
    std::string x, y;
    location >> x >> y;
    return {std::stoi(x.substr(2)), std::stoi(y.substr(2))};
}

// The real application, started as after its first-run window was finished once, with a tray host that speaks
// D-Bus: a phone pairs by the manual code that the pairing window shows, controls the pointer, and views the
// screen; the local user answers through the application's alerts.
TEST(EndToEnd, PairByCodeControlViewAndKeepTheAlwaysAllowedViewerAcrossASettingsChange) {
    TrayHost tray(TrayKind::statusNotifier);
    ASSERT_TRUE(tray.ready());
    // Screen viewing switched on, as in the settings.
    HelperUnderTest running({.preferencesJson = R"({"screenViewingEnabled":true})"});
    auto& helper = running.process();
    const int port = running.listenerPort();
    ASSERT_NE(port, 0);
    auto registered = tray.registeredMenu();
    ASSERT_TRUE(registered);
    const ExportedMenu& menu = *registered;
    ASSERT_TRUE(waitUntil([&] { return menu.contains("Ready"); }, generous));

    // The pairing window shows the manual code as text the user can select and copy.
    ASSERT_TRUE(menu.open("Pair iPhone…", "Pair iPhone"));
    ASSERT_TRUE(focusWindow("Pair iPhone"));
    std::string code;
    ASSERT_TRUE(waitUntil(
        [&] {
            EXPECT_TRUE(pressKeys({"ctrl+a", "ctrl+c"}));
            // xclip ends the text without a newline; the echo completes the line.
            code = output({"sh", "-c", "xclip -o -selection clipboard; echo"});
            if (!code.empty()) code.pop_back();
            return std::count(code.begin(), code.end(), '-') >= 4;
        },
        generous))
        << "copied: " << code;

    const std::string name = "Tom & Jerry_<b>x</b>";
    ChildProcess phone({ORVIK_PHONE_PATH, "--pair-code", code, "--connect", "127.0.0.1:" + std::to_string(port),
                        "--device-name", name, "--reconnect", "--quiet", "--stdin", "--wait-ms", "0"});
    // A manual code always asks the local user: Return allows.
    ASSERT_TRUE(focusWindow("Orvik Helper"));
    ASSERT_TRUE(pressKeys({"Return"}));
    const auto paired = nextJson(phone, "event", "paired");
    ASSERT_TRUE(paired);
    ASSERT_TRUE(nextJson(phone, "type", "status"));

    const auto pointerBefore = pointer();
    ASSERT_TRUE(phone.write(toJson(PointerMove{40, 30, 1}).dump() + "\n"));
    EXPECT_TRUE(waitUntil([&] { return pointer() != pointerBefore; }, generous));
    EXPECT_TRUE(waitUntil([&] { return menu.contains("Connected: " + name) && menu.contains(name); }, generous));

    // Viewing asks too: Tab moves to "Always Allow", Space chooses it.
    ChildProcess viewer({ORVIK_PHONE_PATH, "--identity", paired->at("deviceID").get<std::string>(), "--key",
                         paired->at("deviceKeyHex").get<std::string>(), "--connect",
                         "127.0.0.1:" + std::to_string(port), "--quiet", "--view", "main", "--view-frames", "3"});
    ASSERT_TRUE(focusWindow("Orvik Helper"));
    ASSERT_TRUE(pressKeys({"Tab", "space"}));
    const auto ended = nextJson(viewer, "event", "viewEnded");
    ASSERT_TRUE(ended);
    EXPECT_GE(ended->at("frames").get<int>(), 3);
    const auto deviceID = paired->at("deviceID").get<std::string>();
    ASSERT_TRUE(waitUntil([&] { return storedPreferences().dump().find(deviceID) != std::string::npos; }, generous));

    // A change in the settings afterwards sends only its field: the always-allowed device stays in the record.
    ASSERT_TRUE(menu.open("Settings…", "General"));
    ASSERT_TRUE(focusWindow("General"));
    // The General tab's check boxes come first in the focus chain: Tab to the next control, Space toggles it, until
    // one of them is a preference (the first may be the launch at login, which is not).
    const auto before = storedPreferences();
    bool changed = false;
    for (int control = 0; control < 4 && !changed; ++control) {
        ASSERT_TRUE(pressKeys({"Tab", "space"}));
        changed = waitUntil([&] { return storedPreferences() != before; }, 3s);
    }
    ASSERT_TRUE(changed);
    EXPECT_NE(storedPreferences().value("screenViewingDevices", json::array()).dump().find(deviceID), std::string::npos)
        << storedPreferences().dump();

    // The pairing window carries a secret: the screen shows its code, the stream a phone views shows it blacked out.
    ASSERT_TRUE(focusWindow("Pair iPhone"));
    ASSERT_TRUE(pressKeys({"Escape"}));
    ASSERT_TRUE(waitUntil([] { return !windowShown("Pair iPhone"); }, generous));
    ASSERT_TRUE(menu.open("Pair iPhone…", "Pair iPhone"));
    const std::string folder = std::getenv("XDG_RUNTIME_DIR");
    const std::string screenGrab = folder + "/screen.png", stream = folder + "/stream.h264",
                      frame = folder + "/frame.png";
    ASSERT_TRUE(waitUntil(
        [&] {
            return ChildProcess::run(
                       {"sh", "-c", "import -window root " + screenGrab + " && zbarimg -q --raw " + screenGrab}, 20s)
                       .status == 0;
        },
        generous));
    ChildProcess secondViewer({ORVIK_PHONE_PATH, "--identity", deviceID, "--key",
                               paired->at("deviceKeyHex").get<std::string>(), "--connect",
                               "127.0.0.1:" + std::to_string(port), "--quiet", "--view", "main", "--view-size",
                               "1280x800", "--view-frames", "5", "--view-output", stream});
    ASSERT_TRUE(nextJson(secondViewer, "event", "viewEnded"));
    ASSERT_EQ(
        ChildProcess::run({"ffmpeg", "-loglevel", "error", "-i", stream, "-update", "1", "-y", frame}, 20s).status, 0);
    EXPECT_NE(ChildProcess::run({"zbarimg", "-q", "--raw", frame}, 20s).status, 0);
    // A corner of the window's background: light on the screen, black in the stream.
    std::istringstream geometry(
        output({"xdotool", "search", "--onlyvisible", "--name", "^Pair iPhone$", "getwindowgeometry", "--shell"}));
    std::map<std::string, int> values;
    for (std::string field; geometry >> field;) {
        auto equals = field.find('=');
        if (equals != std::string::npos) values[field.substr(0, equals)] = std::stoi(field.substr(equals + 1));
    }
    const std::string corner = std::to_string(values["X"] + 12) + "," + std::to_string(values["Y"] + 12);
    auto brightness = [&](const std::string& image) {
        // ImageMagick ends its answer without a newline; the echo completes the line.
        const auto value =
            output({"sh", "-c",
                    "convert " + image + " -colorspace Gray -format '%[fx:int(255*p{" + corner + "})]' info:; echo"});
        return value.empty() ? -1 : std::stoi(value);
    };
    EXPECT_LT(brightness(frame), 40);
    EXPECT_GT(brightness(screenGrab), 150);

    phone.closeInput();
    helper.signal(SIGTERM);
    EXPECT_EQ(helper.waitForExit(generous), 0);
}

} // namespace
} // namespace orvik::test
