// The built orvik-helper started with a thousand paired devices whose keys are still in the key file, as a start
// without a keyring leaves them: it listens at once while the keys move to the keyring behind, and a phone gets in.
#include "ChildProcess.hpp"
#include "WaitUntil.hpp"
#include "orvik/protocol/coding/Base64.hpp"
#include "orvik/protocol/coding/Uuid.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace orvik::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
namespace fs = std::filesystem;

constexpr std::size_t deviceCount = 1000;
// Ten times what a loaded machine takes with a sanitizer build; a start that waits for the keyring takes
// half a minute and more.
constexpr auto listeningBound = 5s;

fs::path folderUnder(const char* variable) {
    auto folder = fs::path(std::getenv(variable)) / "orvik-helper";
    fs::create_directories(folder);
    return folder;
}

std::optional<int> storedPort() {
    std::ifstream file(folderUnder("XDG_CONFIG_HOME") / "defaults.json");
    auto defaults = json::parse(file, nullptr, false);
    if (!defaults.is_object() || !defaults.contains("listenerPort")) return std::nullopt;
    return defaults["listenerPort"]["value"].get<int>();
}

std::string hex(const Bytes& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (auto byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

TEST(ManyDevices, AThousandPairedDevicesDoNotHoldUpListeningAndAPhoneGetsIn) {
    json devices = json::array();
    json keys = json::object();
    Uuid lastID;
    Bytes lastKey;
    for (std::size_t index = 0; index < deviceCount; ++index) {
        lastID = Uuid::random();
        lastKey = Bytes(32, static_cast<std::uint8_t>(index));
        devices.push_back({{"id", lastID.text()},
                           {"name", "Phone " + std::to_string(index)},
                           {"model", "iPhone15,2"},
                           {"pairedAt", 700'000'000}});
        keys[lastID.text()] = Base64::encode(lastKey);
    }
    auto list = devices.dump();
    json defaults{{"onboardingCompleted", {{"type", "bool"}, {"value", true}}},
                  {"pairedDevices", {{"type", "data"}, {"value", Base64::encode(Bytes(list.begin(), list.end()))}}}};
    std::ofstream(folderUnder("XDG_CONFIG_HOME") / "defaults.json") << defaults.dump();
    std::ofstream(folderUnder("XDG_DATA_HOME") / "device-keys.json") << keys.dump();

    const auto started = std::chrono::steady_clock::now();
    ChildProcess helper({ORVIK_HELPER_PATH});
    std::optional<int> port;
    ASSERT_TRUE(waitUntil([&] { return (port = storedPort()).has_value(); }, 60s));
    const auto listening = std::chrono::steady_clock::now() - started;
    EXPECT_LT(listening, listeningBound);
    ::testing::Test::RecordProperty(
        "listening_ms", static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(listening).count()));

    ChildProcess phone({ORVIK_PHONE_PATH, "--identity", lastID.text(), "--key", hex(lastKey), "--connect",
                        "127.0.0.1:" + std::to_string(*port), "--quiet", "--until", "authenticated", "--wait-ms", "0"});
    bool authenticated = false;
    while (auto line = phone.readLine(30s)) {
        auto message = json::parse(*line, nullptr, false);
        if (message.is_object() && message.value("type", "") == "authenticated") authenticated = true;
    }
    EXPECT_TRUE(authenticated);
    helper.signal(SIGTERM);
    EXPECT_EQ(helper.waitForExit(60s), 0);
}

} // namespace
} // namespace orvik::test
