// A phone's system commands on a real X server: orvik-phone pairs with the test server, sends media and
// presentation commands that arrive as keys in the focused window, and schedules and cancels a delayed shut down
// that the status pushes show. Process against process, over TLS on loopback.

// Google Test and the protocol first: Xlib defines macros that clash with their names.
#include <gtest/gtest.h>

#include "ChildProcess.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"

#include "WaitUntil.hpp"
#include "X11EventRecorder.hpp"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <nlohmann/json.hpp>

#include <csignal>

namespace orvik::test {
namespace {

using helper::x11test::X11EventRecorder;
using nlohmann::json;

// Generous: other processes act; nothing here measures time.
constexpr auto lineWait = std::chrono::seconds(10);

// The next line of a program printing JSON lines for which `key` is `value` and `matches` holds.
json waitFor(
    ChildProcess& process, const std::string& key, const std::string& value,
    const std::function<bool(const json&)>& matches = [](const json&) { return true; }) {
    while (auto line = process.readLine(lineWait)) {
        auto parsed = json::parse(*line);
        if (parsed.value(key, "") == value && matches(parsed)) return parsed;
    }
    throw std::runtime_error("no " + key + " " + value + " came");
}

TEST(SystemSession, MediaAndPresentationKeysArriveAndADelayedShutDownIsShownUntilCancelled) {
    std::signal(SIGPIPE, SIG_IGN);
    X11EventRecorder desktop;
    ChildProcess server({ORVIK_TEST_SERVER_PATH, "--desktop"});
    const auto port = waitFor(server, "status", "ready").at("port").get<int>();
    const auto url = waitFor(server, "event", "pairing").at("url").get<std::string>();
    ChildProcess phone({ORVIK_PHONE_PATH, "--pair-url", url, "--reconnect", "--quiet", "--stdin", "--wait-ms", "0",
                        "--connect", "127.0.0.1:" + std::to_string(port)});
    waitFor(phone, "type", "status");
    auto send = [&](const OrvikMessage& message) { ASSERT_TRUE(phone.write(toJson(message).dump() + "\n")); };

    for (auto key : {MediaKey::playPause, MediaKey::next, MediaKey::previous}) send(MediaCommand{key});
    send(PresentationCommand{PresentationAction::next, PresentationApp::keynote});
    send(PresentationCommand{PresentationAction::start, PresentationApp::keynote}); // F5 comes from the presets file
    const std::vector<KeySym> expected{XF86XK_AudioPlay, XF86XK_AudioNext, XF86XK_AudioPrev, XK_Right, XK_F5};
    std::vector<KeySym> pressed;
    waitUntil([&] {
        for (const auto& event : X11EventRecorder::ofType(desktop.take(), KeyPress)) pressed.push_back(event.keysym);
        return pressed.size() >= expected.size();
    });
    EXPECT_EQ(pressed, expected);

    auto hasTimer = [](const json& line) { return line.at("payload").contains("sleepTimer"); };
    send(PowerCommand{5, PowerAction::shutDown, 90});
    const auto shown = waitFor(phone, "type", "status", hasTimer).at("payload").at("sleepTimer");
    EXPECT_EQ(shown.at("action"), "shutDown");
    EXPECT_EQ(waitFor(phone, "type", "commandResult").at("payload"), json({{"requestID", 5}})) << "no error";

    send(CancelSleepTimer{});
    EXPECT_NO_THROW(waitFor(phone, "type", "status", [&](const json& line) { return !hasTimer(line); }));
    server.closeInput();
    EXPECT_EQ(server.waitForExit(lineWait), 0);
}

} // namespace
} // namespace orvik::test
