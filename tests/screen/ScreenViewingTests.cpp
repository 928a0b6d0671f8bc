// orvik-phone views the test server's synthetic display and its X display (Xvfb), process against process over
// real TLS, through the real capture, encoder and stream; ffprobe decodes what the phone wrote.

#include "ChildProcess.hpp"
#include "PrivateXServer.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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
    explicit ScreenServer(std::string source = "synthetic")
        : process_({ORVIK_TEST_SERVER_PATH, "--screen", std::move(source)}) {
        const auto address = "127.0.0.1:" + std::to_string(waitFor("status", "ready").at("port").get<int>());
        auto pairing = waitFor("event", "pairing").at("url").get<std::string>();
        auto paired =
            ChildProcess::run({ORVIK_PHONE_PATH, "--pair-url", pairing, "--connect", address, "--quiet"}, 20s);
        for (const auto& line : paired.lines) {
            auto parsed = json::parse(line);
            if (parsed.value("event", "") == "paired") {
                device = {"--identity", parsed.at("deviceID"), "--key", parsed.at("deviceKeyHex"), "--connect",
                          address};
            }
        }
        if (device.empty()) throw std::runtime_error("pairing failed");
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

    std::vector<std::string> device;

private:
    ChildProcess process_;
};

std::vector<json> named(const std::vector<json>& lines, const std::string& name) {
    std::vector<json> found;
    for (const auto& line : lines) {
        if (line.value("type", line.value("event", "")) == name) found.push_back(line);
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

TEST(ScreenViewing, AbsurdSettingsAreLimitedWithheldAcksStopDeliveryAndLateAcksSlowIt) {
    ScreenServer server;
    // Absurd settings are limited, never refused: the smallest picture at most 60 times a second.
    auto withheld =
        server.view({"--view", "main", "--view-size", "0x-5", "--view-fps", "1000", "--no-acks", "--view-ms", "1500"});
    EXPECT_EQ(named(withheld, "frame").size(), 3u);
    EXPECT_EQ(named(withheld, "screenStarted").at(0).at("payload").at("frameRate"), 1000);
    EXPECT_EQ(named(withheld, "screenFormat").at(0).at("payload").at("width"), 160);

    // Three frames per acknowledgement delay at most, whatever the machine's speed.
    auto late = server.view(
        {"--view", "main", "--view-size", "320x200", "--view-fps", "60", "--ack-delay-ms", "300", "--view-ms", "3000"});
    EXPECT_LE(named(late, "frame").size(), 3u * 3000 / 300 + 3);
    EXPECT_GE(named(late, "frame").size(), 3u);
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
