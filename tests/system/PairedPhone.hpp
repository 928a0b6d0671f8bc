#pragma once

#include "ChildProcess.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvik::test {

using nlohmann::json;

// Generous: other processes act; nothing here measures time.
constexpr auto lineWait = std::chrono::seconds(10);

// The next line of a program printing JSON lines for which `key` is `value` and `matches` holds.
inline json waitFor(
    ChildProcess& process, const std::string& key, const std::string& value,
    const std::function<bool(const json&)>& matches = [](const json&) { return true; }) {
    while (auto line = process.readLine(lineWait)) {
        auto parsed = json::parse(*line);
        if (parsed.value(key, "") == value && matches(parsed)) return parsed;
    }
    throw std::runtime_error("no " + key + " " + value + " came");
}

// The test server with `options` and a phone paired with it that takes JSON messages on its standard input.
struct PairedPhone {
    explicit PairedPhone(std::vector<std::string> options) : server(serverCommand(std::move(options))) {
        port = waitFor(server, "status", "ready").at("port").get<int>();
        const auto url = waitFor(server, "event", "pairing").at("url").get<std::string>();
        // The listener re-opens with the window's keys: a connect before it is back is refused.
        waitFor(server, "status", "ready");
        phone.emplace(std::vector<std::string>{ORVIK_PHONE_PATH, "--pair-url", url, "--reconnect", "--quiet", "--stdin",
                                               "--wait-ms", "0", "--connect", "127.0.0.1:" + std::to_string(port)});
        paired = waitFor(*phone, "event", "paired");
        waitFor(*phone, "type", "status");
    }

    // A second phone of the same device, taking JSON messages on its standard input.
    ChildProcess connectAgain() const {
        return ChildProcess({ORVIK_PHONE_PATH, "--identity", paired.at("deviceID").get<std::string>(), "--key",
                             paired.at("deviceKeyHex").get<std::string>(), "--quiet", "--stdin", "--wait-ms", "0",
                             "--connect", "127.0.0.1:" + std::to_string(port)});
    }

    static std::vector<std::string> serverCommand(std::vector<std::string> options) {
        options.insert(options.begin(), ORVIK_TEST_SERVER_PATH);
        return options;
    }
    void send(const OrvikMessage& message) { ASSERT_TRUE(phone->write(toJson(message).dump() + "\n")); }
    std::optional<int> stop() {
        server.closeInput();
        return server.waitForExit(lineWait);
    }

    ChildProcess server;
    int port = 0;
    json paired;
    std::optional<ChildProcess> phone;
};

} // namespace orvik::test
