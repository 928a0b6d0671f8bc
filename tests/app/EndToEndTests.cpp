#include "ChildProcess.hpp"
#include "WaitUntil.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace orvik::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
namespace fs = std::filesystem;

constexpr auto generous = 30s;

std::string output(std::vector<std::string> argv) {
    auto result = ChildProcess::run(std::move(argv), 10s);
    std::string text;
    for (const auto& line : result.lines) text += line + "\n";
    return result.status == 0 ? text : std::string();
}

fs::path configFolder() {
    return fs::path(std::getenv("XDG_CONFIG_HOME")) / "orvik-helper";
}

json storedDefaults() {
    std::ifstream file(configFolder() / "defaults.json");
    if (!file) return json::object();
    try {
        return json::parse(file);
    } catch (const json::exception&) {
        return json::object(); // caught between two writes of the atomic file: read again
    }
}

std::string base64Decoded(const std::string& text) {
    return output({"sh", "-c", "printf %s '" + text + "' | base64 -d; echo"});
}

// The stored preferences record, decoded.
json storedPreferences() {
    auto defaults = storedDefaults();
    if (!defaults.contains("helperPreferences")) return json::object();
    return json::parse(base64Decoded(defaults["helperPreferences"]["value"].get<std::string>()));
}

bool windowShown(const std::string& title) {
    return ChildProcess::run({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, 5s).status == 0;
}

// The tray's menu as the StatusNotifierItem exports it: each item's identifier and shown label.
struct MenuEntry {
    int id = 0;
    std::string label;
};

class ExportedMenu {
public:
    explicit ExportedMenu(std::string service) : service_(std::move(service)) {}

    std::vector<MenuEntry> entries() const {
        const auto layout = output({"gdbus", "call", "--session", "--dest", service_, "--object-path", "/MenuBar",
                                    "--method", "com.canonical.dbusmenu.GetLayout", "0", "int32 -1", "@as []"});
        std::vector<MenuEntry> found;
        static const std::regex item(R"(\((\d+), \{[^}]*'label': <'((?:[^'\\]|\\.)*)'>)");
        for (std::sregex_iterator at(layout.begin(), layout.end(), item), end; at != end; ++at) {
            found.push_back({std::stoi((*at)[1]), shown((*at)[2])});
        }
        return found;
    }

    bool contains(const std::string& label) const {
        for (const auto& entry : entries()) {
            if (entry.label == label) return true;
        }
        return false;
    }

    // Chooses the item as a tray host does when the user clicks it.
    bool choose(const std::string& label) const {
        for (const auto& entry : entries()) {
            if (entry.label != label) continue;
            return ChildProcess::run({"gdbus", "call", "--session", "--dest", service_, "--object-path", "/MenuBar",
                                      "--method", "com.canonical.dbusmenu.Event", std::to_string(entry.id), "clicked",
                                      "<0>", "0"},
                                     10s)
                       .status == 0;
        }
        return false;
    }

    // Chooses the item until the window with this title shows: the menu is rebuilt at each change of the model,
    // and an item chosen by an identifier of the menu before is not there any longer.
    bool open(const std::string& label, const std::string& title) const {
        return waitUntil([&] { return choose(label) && waitUntil([&] { return windowShown(title); }, 3s); }, generous);
    }

private:
    // A dbusmenu label: "__" stands for "_", another "_" marks a mnemonic; gdbus escapes quotes.
    static std::string shown(const std::string& label) {
        std::string text;
        for (std::size_t at = 0; at < label.size(); ++at) {
            if ((label[at] == '_' || label[at] == '\\') && at + 1 < label.size()) ++at;
            text += label[at];
        }
        return text;
    }

    std::string service_;
};

bool activeWindowIs(const std::string& title) {
    return output({"xdotool", "getactivewindow", "getwindowname"}) == title + "\n";
}

// Waits for the window with this title and gives it the keyboard focus: a window manager may keep a new window
// behind the one the user works in.
bool focusWindow(const std::string& title) {
    return waitUntil(
        [&] {
            if (activeWindowIs(title)) return true;
            std::istringstream found(output({"xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}));
            std::string window;
            if (found >> window) ChildProcess::run({"xdotool", "windowactivate", "--sync", window}, 5s);
            return activeWindowIs(title);
        },
        generous);
}

void pressKeys(const std::vector<std::string>& keys) {
    std::vector<std::string> argv{"xdotool", "key", "--clearmodifiers"};
    argv.insert(argv.end(), keys.begin(), keys.end());
    ASSERT_EQ(ChildProcess::run(argv, 10s).status, 0);
}

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
    fs::create_directories(configFolder());
    // Screen viewing switched on, as in the settings: {"screenViewingEnabled":true}.
    std::ofstream(configFolder() / "defaults.json") << R"({"onboardingCompleted": {"type": "bool", "value": true},
               "helperPreferences": {"type": "data", "value": "eyJzY3JlZW5WaWV3aW5nRW5hYmxlZCI6dHJ1ZX0="}})";
    const std::string watcherLog = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/watcher.log";
    ChildProcess watcher(
        {"/usr/bin/python3", "-m", "dbusmock", "-l", watcherLog, "--template", ORVIK_WATCHER_TEMPLATE});
    ASSERT_TRUE(waitUntil(
        [] {
            return output({"gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                           "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner",
                           "org.kde.StatusNotifierWatcher"}) == "(true,)\n";
        },
        generous));

    ChildProcess helper({ORVIK_HELPER_PATH});
    int port = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            auto defaults = storedDefaults();
            if (defaults.contains("listenerPort")) port = defaults["listenerPort"]["value"].get<int>();
            return port != 0;
        },
        generous));
    std::string service;
    ASSERT_TRUE(waitUntil(
        [&] {
            std::ifstream log(watcherLog);
            std::string line;
            static const std::regex registration(R"(RegisterStatusNotifierItem "([^"]+)\")");
            std::smatch match;
            while (std::getline(log, line)) {
                if (std::regex_search(line, match, registration)) service = match[1];
            }
            return !service.empty();
        },
        generous));
    ExportedMenu menu(service);
    ASSERT_TRUE(waitUntil([&] { return menu.contains("Ready"); }, generous));

    // The pairing window shows the manual code as text the user can select and copy.
    ASSERT_TRUE(menu.open("Pair iPhone…", "Pair iPhone"));
    ASSERT_TRUE(focusWindow("Pair iPhone"));
    std::string code;
    ASSERT_TRUE(waitUntil(
        [&] {
            pressKeys({"ctrl+a", "ctrl+c"});
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
    pressKeys({"Return"});
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
    pressKeys({"Tab", "space"});
    const auto ended = nextJson(viewer, "event", "viewEnded");
    ASSERT_TRUE(ended);
    EXPECT_GE(ended->at("frames").get<int>(), 3);
    const auto deviceID = paired->at("deviceID").get<std::string>();
    ASSERT_TRUE(waitUntil([&] { return storedPreferences().dump().find(deviceID) != std::string::npos; }, generous));

    // A change in the settings afterwards sends the whole record: the always-allowed device stays in it.
    ASSERT_TRUE(menu.open("Settings…", "General"));
    ASSERT_TRUE(focusWindow("General"));
    // The General tab's check boxes come first in the focus chain: Tab to the next control, Space toggles it, until
    // one of them is a preference (the first may be the launch at login, which is not).
    const auto before = storedPreferences();
    bool changed = false;
    for (int control = 0; control < 4 && !changed; ++control) {
        pressKeys({"Tab", "space"});
        changed = waitUntil([&] { return storedPreferences() != before; }, 3s);
    }
    ASSERT_TRUE(changed);
    EXPECT_NE(storedPreferences().value("screenViewingDevices", json::array()).dump().find(deviceID), std::string::npos)
        << storedPreferences().dump();

    // The pairing window carries a secret: the screen shows its code, the stream a phone views shows it blacked out.
    ASSERT_TRUE(focusWindow("Pair iPhone"));
    pressKeys({"Escape"});
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
