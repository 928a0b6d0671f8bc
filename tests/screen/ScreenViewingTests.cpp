// orvik-phone views the test server's synthetic display and its X display (Xvfb), process against process over
// real TLS, through the real capture, encoder and stream; ffprobe decodes what the phone wrote.

#include "ChildProcess.hpp"
#include "PrivateXServer.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace orvik::test {
namespace {

using helper::x11test::PrivateXServer;
using nlohmann::json;
using namespace std::chrono_literals;

class ScreenServer {
public:
    // Pairs a phone at once unless `pairNow` is false (then `pairingURL` is left for a phone of the test).
    explicit ScreenServer(std::string source = "synthetic", bool pairNow = true)
        : process_({ORVIK_TEST_SERVER_PATH, "--screen", std::move(source)}) {
        address = "127.0.0.1:" + std::to_string(waitFor("status", "ready").at("port").get<int>());
        pairingURL = waitFor("event", "pairing").at("url").get<std::string>();
        // The listener re-opens at every key change (here the window's keys, below the new device's): a connect
        // before it is back is refused.
        waitFor("status", "ready");
        if (!pairNow) return;
        auto paired =
            ChildProcess::run({ORVIK_PHONE_PATH, "--pair-url", pairingURL, "--connect", address, "--quiet"}, 20s);
        for (const auto& line : paired.lines) {
            auto parsed = json::parse(line);
            if (parsed.value("event", "") == "paired") {
                device = {"--identity", parsed.at("deviceID"), "--key", parsed.at("deviceKeyHex"), "--connect",
                          address};
            }
        }
        if (device.empty()) throw std::runtime_error("pairing failed");
        waitFor("event", "paired");
        waitFor("status", "ready");
    }
    ~ScreenServer() {
        process_.closeInput();
        process_.waitForExit(5s);
    }
    json waitFor(const std::string& key, const std::string& value) {
        while (auto line = process_.readLine(20s)) {
            auto parsed = json::parse(*line);
            if (parsed.value(key, "") == value) return parsed;
        }
        throw std::runtime_error("the test server printed no " + key + " " + value);
    }
    // The phone viewing with these options; its lines.
    std::vector<json> view(std::vector<std::string> options) {
        options.insert(options.begin(), device.begin(), device.end());
        options.insert(options.begin(), ORVIK_PHONE_PATH);
        auto run = ChildProcess::run(std::move(options), 60s);
        EXPECT_EQ(run.status, 0);
        std::vector<json> lines;
        for (const auto& line : run.lines) lines.push_back(json::parse(line));
        return lines;
    }

    // The phone viewing with these options, left running.
    std::unique_ptr<ChildProcess> startViewing(std::vector<std::string> options) {
        options.insert(options.begin(), device.begin(), device.end());
        options.insert(options.begin(), ORVIK_PHONE_PATH);
        return std::make_unique<ChildProcess>(std::move(options));
    }
    ChildProcess& process() { return process_; }
    // A line command on the server's standard input: "pause", "resume".
    void command(const std::string& line) { ASSERT_TRUE(process_.write(line + "\n")); }
    // The bit rates of the streams that encode now (a stopped one reports 0 until it is gone).
    std::vector<int> encodingBitRates() {
        command("rates");
        auto rates = waitFor("event", "screenBitRates").at("bitRates").get<std::vector<int>>();
        std::erase(rates, 0);
        return rates;
    }

    std::string address;
    std::string pairingURL;
    std::vector<std::string> device;

private:
    ChildProcess process_;
};

std::string kindOf(const json& line) {
    return line.value("type", line.value("event", ""));
}

std::vector<json> named(const std::vector<json>& lines, const std::string& name) {
    std::vector<json> found;
    for (const auto& line : lines) {
        if (kindOf(line) == name) found.push_back(line);
    }
    return found;
}

// A source, how many frames to view, and what ffprobe reads of them: the picture size a 640×400 limit gives on
// its main display. The synthetic display changes every frame; Xvfb's still screen is refreshed once a second.
struct ViewedSource {
    std::string name;
    std::size_t frames;
    std::string expectedProbe;

    friend void PrintTo(const ViewedSource& source, std::ostream* out) { *out << source.name; }
};

class ScreenViewingOf : public testing::TestWithParam<ViewedSource> {};

INSTANTIATE_TEST_SUITE_P(Sources, ScreenViewingOf,
                         testing::Values(ViewedSource{"synthetic", 20, "h264,640,400,tv,bt709,20"},
                                         ViewedSource{"x11", 3, "h264,640,360,tv,bt709,3"}),
                         [](const auto& source) { return source.param.name; });

TEST_P(ScreenViewingOf, APhoneViewsDecodesAndStopsAndTheViewerIsGone) {
    ScreenServer server(GetParam().name);
    const auto file = std::filesystem::temp_directory_path() / ("orvik-view-" + std::to_string(getpid()) + ".h264");
    // HEVC is not offered by default: the stream falls back to H.264.
    auto lines = server.view({"--view", "main", "--view-size", "640x400", "--view-codecs", "hevc", "--view-frames",
                              std::to_string(GetParam().frames), "--view-output", file.string(), "--wait-ms", "300"});
    EXPECT_EQ(named(lines, "screenStarted").at(0).at("payload").at("codec"), "h264");
    EXPECT_EQ(named(lines, "screenFormat").at(0).at("payload").at("parameterSets").size(), 2u);
    auto frames = named(lines, "frame");
    ASSERT_EQ(frames.size(), GetParam().frames);
    EXPECT_TRUE(frames[0].at("keyframe").get<bool>());
    EXPECT_EQ(named(lines, "viewEnded").at(0).at("gaps"), 0);

    auto probe = ChildProcess::run(
        {"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
         "stream=codec_name,width,height,color_range,color_space,nb_read_frames", "-of", "csv=p=0", file.string()},
        30s);
    std::filesystem::remove(file);
    ASSERT_EQ(probe.lines.size(), 1u);
    EXPECT_EQ(probe.lines[0], GetParam().expectedProbe) << "codec, size (the format's), range, matrix, frames";

    EXPECT_EQ(server.waitFor("event", "screenViewers").at("viewers").size(), 1u);
    EXPECT_TRUE(server.waitFor("event", "screenViewers").at("viewers").empty());
}

TEST(ScreenViewing, APhonePairsAndViewsInOneCommand) {
    ScreenServer server("synthetic", false);
    auto run = ChildProcess::run({ORVIK_PHONE_PATH, "--pair-url", server.pairingURL, "--connect", server.address,
                                  "--view", "main", "--view-frames", "3", "--wait-ms", "300"},
                                 60s);
    EXPECT_EQ(run.status, 0);
    std::vector<json> lines;
    for (const auto& line : run.lines) lines.push_back(json::parse(line));
    EXPECT_EQ(named(lines, "paired").size(), 1u);
    EXPECT_EQ(named(lines, "frame").size(), 3u);
}

// The lines of `process` up to and including the first for which `last` holds; throws when it never came.
std::vector<json> linesUntil(ChildProcess& process, const std::function<bool(const json&)>& last) {
    std::vector<json> lines;
    while (auto line = process.readLine(20s)) {
        lines.push_back(json::parse(*line));
        if (last(lines.back())) return lines;
    }
    throw std::runtime_error("the awaited line never came");
}

std::function<bool(const json&)> isState(const std::string& state) {
    return
        [state](const json& line) { return kindOf(line) == "screenState" && line.at("payload").at("state") == state; };
}

// The lines `process` prints within `span`.
std::vector<json> linesDuring(ChildProcess& process, std::chrono::milliseconds span) {
    std::vector<json> lines;
    for (const auto end = std::chrono::steady_clock::now() + span; std::chrono::steady_clock::now() < end;) {
        if (auto line = process.readLine(10ms)) lines.push_back(json::parse(*line));
    }
    return lines;
}

// The starting rate of a 320×200 picture is the 2 Mbit/s floor of starting rates; steps stay within 1 and 3 Mbit/s.
constexpr int startingBitRate = 2'000'000;

TEST_P(ScreenViewingOf, PausedViewersGetNoFramesResumeWithAFormatAndAKeyframeAndFastAcksRaiseTheRate) {
    ScreenServer server(GetParam().name);
    auto phone = server.startViewing({"--view", "main", "--view-size", "320x200", "--view-ms", "60000"});
    linesUntil(*phone, [](const json& line) { return kindOf(line) == "frame"; });

    server.command("pause");
    linesUntil(*phone, isState("paused"));
    // Only an absence can be seen here: nothing may come while paused.
    EXPECT_TRUE(named(linesDuring(*phone, 1500ms), "frame").empty()) << "no frames while paused";

    server.command("resume");
    auto resumed = linesUntil(*phone, [](const json& line) { return kindOf(line) == "frame"; });
    EXPECT_TRUE(resumed.back().at("keyframe").get<bool>()) << "the first frame after the resume is a keyframe";
    ASSERT_EQ(named(resumed, "screenFormat").size(), 1u) << "a new encoder, a new format";
    if (std::ranges::none_of(resumed, isState("streaming"))) linesUntil(*phone, isState("streaming"));

    // Acknowledged at once: the rate steps up from its start (by 10 % a second, at most to 1.5 times it).
    linesDuring(*phone, 2500ms);
    auto rates = server.encodingBitRates();
    EXPECT_TRUE(rates.size() == 1 && rates[0] > startingBitRate && rates[0] <= startingBitRate * 3 / 2)
        << testing::PrintToString(rates);
}

std::size_t indexOf(const std::vector<json>& lines, const std::function<bool(const json&)>& wanted) {
    return static_cast<std::size_t>(std::ranges::find_if(lines, wanted) - lines.begin());
}

TEST(ScreenViewing, RefusalsWithoutRequestIDFollowTheStartTheyAnswerAndAnUnknownCodecIsUnsupported) {
    ScreenServer server;
    const std::string settings = R"({"settings":{"maxWidth":160,"maxHeight":160,"frameRate":5},"codecs":)";
    const auto start = R"({"type":"screenStart","payload":)" + settings + R"(["h264"]}})";
    auto lines = server.view(
        {"--send", start, "--send", start, "--send-frame", "1283:" + settings + R"(["av1"]})", "--wait-ms", "1500"});
    auto errorWith = [](const std::string& code) {
        return [code](const json& line) { return kindOf(line) == "error" && line.at("payload").at("code") == code; };
    };
    const auto streaming = indexOf(lines, isState("streaming"));
    const auto again = indexOf(lines, errorWith("invalidRequest"));
    const auto unknown = indexOf(lines, errorWith("unsupported"));
    ASSERT_LT(unknown, lines.size());
    EXPECT_LT(streaming, again) << "the first start is answered in full before the second";
    EXPECT_LT(again, unknown);
    EXPECT_EQ(lines[again].at("payload").at("detail"), "already streaming");
    EXPECT_EQ(lines[unknown].at("payload").at("detail"), "type 1283");
    for (auto at : {again, unknown}) EXPECT_FALSE(lines[at].at("payload").contains("requestID"));
    EXPECT_EQ(named(lines, "screenStarted").size(), 1u);
}

TEST(ScreenViewing, AbsurdSettingsAreLimitedWithheldAcksStopDeliveryAndLateAcksSlowIt) {
    ScreenServer server;
    // Absurd settings are limited, never refused: the smallest picture at most 60 times a second.
    auto withheld =
        server.view({"--view", "main", "--view-size", "0x-5", "--view-fps", "1000", "--no-acks", "--view-ms", "1500"});
    EXPECT_EQ(named(withheld, "frame").size(), 3u);
    EXPECT_EQ(named(withheld, "screenStarted").at(0).at("payload").at("frameRate"), 1000);
    EXPECT_EQ(named(withheld, "screenFormat").at(0).at("payload").at("width"), 160);

    // Three frames per acknowledgement delay at most, whatever the machine's speed; the rate steps down (by 20 % a
    // second, never below 1 Mbit/s).
    auto phone = server.startViewing(
        {"--view", "main", "--view-size", "320x200", "--view-fps", "60", "--ack-delay-ms", "300", "--view-ms", "3000"});
    std::size_t frames = 0;
    linesUntil(*phone, [&](const json& line) { return kindOf(line) == "frame" && ++frames == 6; });
    auto rates = server.encodingBitRates();
    EXPECT_TRUE(rates.size() == 1 && rates[0] < startingBitRate && rates[0] >= 1'000'000)
        << testing::PrintToString(rates);
    frames += named(linesUntil(*phone, [](const json& line) { return kindOf(line) == "viewEnded"; }), "frame").size();
    EXPECT_LE(frames, 3u * 3000 / 300 + 3);
}

// The next line of `process` for which `type` (or `event`) is `name`; absent when none came.
std::optional<json> next(ChildProcess& process, const std::string& name) {
    while (auto line = process.readLine(20s)) {
        auto parsed = json::parse(*line);
        if (parsed.value("type", parsed.value("event", "")) == name) return parsed;
    }
    return std::nullopt;
}

TEST(ScreenViewing, WhenTheXServerDiesMidStreamTheViewerIsToldAndTheServerStillStops) {
    std::signal(SIGPIPE, SIG_IGN);
    PrivateXServer display("1280x720x24");
    ASSERT_FALSE(display.name().empty());
    setenv("DISPLAY", display.name().c_str(), 1);
    ScreenServer server("x11");
    auto phone = server.startViewing({"--view", "main", "--view-size", "640x360", "--view-ms", "20000"});
    ASSERT_TRUE(next(*phone, "frame")) << "streaming before the X server goes";

    display.stop();
    auto state = next(*phone, "screenState");
    ASSERT_TRUE(state);
    EXPECT_EQ(state->at("payload").at("state"), "locked") << "a capture that failed by itself";
    // The dead display is never closed through Xlib, which would hang: the server still stops at once.
    server.process().signal(SIGTERM);
    EXPECT_EQ(server.process().waitForExit(10s), 0);
}

} // namespace
} // namespace orvik::test
