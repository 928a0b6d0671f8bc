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
using namespace std::chrono_literals;

// Generous limits for other processes to act; nothing here measures time.
constexpr auto lineWait = 10s;
constexpr auto settleLimit = 10s;

// A program whose standard output is one JSON object per line.
struct JsonLines {
    explicit JsonLines(std::vector<std::string> argv) : process(std::move(argv)) {}

    json waitFor(const std::function<bool(const json&)>& matches) {
        while (auto line = process.readLine(lineWait)) {
            auto parsed = json::parse(*line);
            if (matches(parsed)) return parsed;
        }
        throw std::runtime_error("expected line did not come");
    }

    ChildProcess process;
};

bool hasValue(const json& line, const std::string& key, const std::string& value) {
    return line.value(key, "") == value;
}

TEST(SystemSession, MediaAndPresentationKeysArriveAndADelayedShutDownIsShownUntilCancelled) {
    std::signal(SIGPIPE, SIG_IGN);
    X11EventRecorder desktop;
    JsonLines server({ORVIK_TEST_SERVER_PATH, "--desktop"});
    const auto port =
        server.waitFor([](const json& l) { return hasValue(l, "status", "ready"); }).at("port").get<int>();
    const auto url = server.waitFor([](const json& l) { return hasValue(l, "event", "pairing"); }).at("url");
    JsonLines phone({ORVIK_PHONE_PATH, "--pair-url", url.get<std::string>(), "--reconnect", "--quiet", "--stdin",
                     "--wait-ms", "0", "--connect", "127.0.0.1:" + std::to_string(port)});
    auto status = [&] { return phone.waitFor([](const json& l) { return hasValue(l, "type", "status"); }); };
    status();
    auto send = [&](const OrvikMessage& message) { ASSERT_TRUE(phone.process.write(toJson(message).dump() + "\n")); };

    for (auto key : {MediaKey::playPause, MediaKey::next, MediaKey::previous}) send(MediaCommand{key});
    send(PresentationCommand{PresentationAction::next, PresentationApp::keynote});
    send(PresentationCommand{PresentationAction::start, PresentationApp::keynote}); // F5 comes from the presets file
    const std::vector<KeySym> expected{XF86XK_AudioPlay, XF86XK_AudioNext, XF86XK_AudioPrev, XK_Right, XK_F5};
    std::vector<KeySym> pressed;
    waitUntil(
        [&] {
            for (const auto& event : X11EventRecorder::ofType(desktop.take(), KeyPress))
                pressed.push_back(event.keysym);
            return pressed.size() >= expected.size();
        },
        settleLimit);
    EXPECT_EQ(pressed, expected);

    send(PowerCommand{5, PowerAction::shutDown, 90});
    auto shown = phone
                     .waitFor([](const json& l) {
                         return hasValue(l, "type", "status") && l.at("payload").contains("sleepTimer");
                     })
                     .at("payload");
    EXPECT_EQ(shown.at("sleepTimer").at("action"), "shutDown");
    EXPECT_GE(shown.at("sleepTimer").at("remainingSeconds").get<int>(), 80);
    auto answer = phone.waitFor([](const json& l) { return hasValue(l, "type", "commandResult"); }).at("payload");
    EXPECT_EQ(answer.at("requestID"), 5);
    EXPECT_FALSE(answer.contains("error")) << answer.dump();

    send(CancelSleepTimer{});
    auto cleared = phone.waitFor(
        [](const json& l) { return hasValue(l, "type", "status") && !l.at("payload").contains("sleepTimer"); });
    EXPECT_FALSE(cleared.at("payload").contains("sleepTimer"));
    phone.process.closeInput();
    server.process.closeInput();
    server.process.waitForExit(lineWait);
}

} // namespace
} // namespace orvik::test
