// The orvik-phone executable against the test server program, process against process over real TLS: what the
// tool sends, prints and exits with.

#include "ChildProcess.hpp"
#include "PhoneOptions.hpp"

#include "orvik/protocol/coding/Base64.hpp"
#include "orvik/protocol/coding/Uuid.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

namespace orvik::test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

// One orvik-test-server with its pairing window open, read line by line.
class TestServer {
public:
    TestServer() : process_({ORVIK_TEST_SERVER_PATH}) {
        address = "127.0.0.1:" + std::to_string(waitFor("status", "ready").at("port").get<int>());
        url = waitFor("event", "pairing").at("url").get<std::string>();
        // The listener re-opens at every key change (here the window's keys; in pair() the new device's): a
        // connect before it is back is refused.
        waitFor("status", "ready");
    }
    ~TestServer() {
        process_.closeInput();
        process_.waitForExit(5s);
    }

    // The next line whose `key` is `value`.
    json waitFor(const std::string& key, const std::string& value) {
        while (auto line = process_.readLine(10s)) {
            auto parsed = json::parse(*line);
            if (parsed.value(key, "") == value) return parsed;
        }
        throw std::runtime_error("the test server printed no " + key + " " + value);
    }

    std::string address;
    std::string url;

private:
    ChildProcess process_;
};

struct PhoneRun {
    int status = -1;
    std::vector<json> lines;

    std::optional<json> first(const std::string& key, const std::string& value) const {
        for (const auto& line : lines) {
            if (line.value(key, "") == value) return line;
        }
        return std::nullopt;
    }
};

// Runs the tool with standard input `input`.
PhoneRun phone(std::vector<std::string> arguments, const std::string& input = "") {
    arguments.insert(arguments.begin(), ORVIK_PHONE_PATH);
    ChildProcess process(std::move(arguments));
    if (!input.empty()) process.write(input);
    process.closeInput();
    PhoneRun run;
    while (auto line = process.readLine(20s)) run.lines.push_back(json::parse(*line));
    run.status = process.waitForExit(20s).value_or(-1);
    return run;
}

// Pairs a new device through the pairing URL; the paired event, once the listener offers the device's key.
json pair(TestServer& server) {
    auto paired = phone({"--pair-url", server.url, "--connect", server.address, "--quiet"}).first("event", "paired");
    if (!paired) throw std::runtime_error("pairing failed");
    server.waitFor("event", "paired");
    server.waitFor("status", "ready");
    return *paired;
}

TEST(PhoneClient, PairsThenAuthenticatesWithThePrintedKeyAndSendsFromArgumentsAndStandardInput) {
    TestServer server;
    auto paired = pair(server);
    auto key = paired.at("deviceKeyHex").get<std::string>();
    EXPECT_EQ(Base64::decode(paired.at("deviceKey").get<std::string>()), phone::parseKey(key));

    auto run = phone({"--identity", paired.at("deviceID"), "--key", key, "--connect", server.address, "--send",
                      R"({"type":"ping","payload":{"value":7}})", "--stdin", "--until", "pong", "--wait-ms", "10000"},
                     "\n{\"type\":\"text\",\"payload\":{\"text\":\"hi\",\"mode\":\"type\"}}\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.first("type", "helloAck")->at("payload").at("challenge").get<std::string>().size(), 44u);
    EXPECT_EQ(run.first("type", "authenticated")->at("payload").at("deviceName"), "orvik-phone");
    EXPECT_EQ(run.first("type", "pong")->at("payload").at("value"), 7);
    EXPECT_EQ(run.first("event", "connected")->at("identity"), paired.at("deviceID"));
    // The line of standard input was sent too.
    EXPECT_EQ(server.waitFor("input", "unicode").at("text"), "hi");
}

// A phone that comes and goes: each round is a whole session of its own.
TEST(PhoneClient, RepeatConnectsAuthenticatesAndClosesThatManyTimes) {
    TestServer server;
    auto paired = pair(server);
    auto run = phone({"--identity", paired.at("deviceID"), "--key", paired.at("deviceKeyHex"), "--connect",
                      server.address, "--repeat", "3", "--send", R"({"type":"ping","payload":{"value":2}})", "--until",
                      "pong", "--wait-ms", "5000"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(std::count_if(run.lines.begin(), run.lines.end(),
                            [](const json& line) { return line.value("type", "") == "authenticated"; }),
              3);
    EXPECT_EQ(std::count_if(run.lines.begin(), run.lines.end(),
                            [](const json& line) { return line.value("type", "") == "pong"; }),
              3);
}

TEST(PhoneClient, ExitCodesTellWhatWentWrong) {
    TestServer server;
    auto paired = pair(server);
    const std::vector<std::string> device{"--identity", paired.at("deviceID"), "--key", paired.at("deviceKeyHex"),
                                          "--connect",  server.address};
    auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), device.begin(), device.end());
        return more;
    };
    EXPECT_EQ(phone(with({"--until", "screenState", "--wait-ms", "100"})).status, 6);
    EXPECT_EQ(phone(with({"--stdin"}), "{\"type\":\"ping\",\"payload\":{\"value\":1}}\nnot json\n").status, 5);
    EXPECT_EQ(phone({"--connect", server.address}).status, 1);
    // Last: a failed attempt locks this address out for a moment.
    auto wrongKey =
        phone({"--identity", paired.at("deviceID"), "--key", std::string(64, 'e'), "--connect", server.address});
    EXPECT_EQ(wrongKey.status, 2);
    EXPECT_EQ(wrongKey.first("event", "failed")->at("authenticationFailure"), true);
}

// A socket bound but not listening refuses connects, as the helper's does while its listener re-opens; once it
// listens, the tool gets through (and fails TLS here, the socket speaking none).
TEST(PhoneClient, ARefusedConnectIsTriedAgainWithinTheTimeLimit) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    ChildProcess tool({ORVIK_PHONE_PATH, "--identity", Uuid::random().text(), "--key", std::string(64, 'a'),
                       "--connect", "127.0.0.1:" + std::to_string(ntohs(address.sin_port)), "--timeout-ms", "5000"});
    auto refused = tool.readLine(10s);
    ASSERT_TRUE(refused);
    EXPECT_EQ(json::parse(*refused).value("kind", ""), "failed") << *refused;

    ASSERT_EQ(::listen(listener, 1), 0);
    pollfd waiting{listener, POLLIN, 0};
    if (::poll(&waiting, 1, 10'000) == 1) ::close(::accept(listener, nullptr, nullptr));
    std::vector<std::string> stages;
    while (auto line = tool.readLine(10s)) stages.push_back(json::parse(*line).value("stage", ""));
    EXPECT_EQ(tool.waitForExit(10s), 2);
    ASSERT_FALSE(stages.empty());
    EXPECT_EQ(stages.back().rfind("tls ", 0), 0U) << stages.back();
    ::close(listener);
}

} // namespace
} // namespace orvik::test
