#include <gtest/gtest.h>

#include "DesktopProcesses.hpp"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace orvik::test {

using nlohmann::json;

std::string programPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        auto candidate = std::filesystem::path(folder) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    throw std::runtime_error(name + " is not installed");
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    constexpr auto pollPause = std::chrono::milliseconds(1);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(pollPause);
    }
    return true;
}

json JsonLines::waitFor(const std::function<bool(const json&)>& matches) {
    while (auto line = process.readLine(lineWait)) {
        seen.push_back(json::parse(*line));
        if (matches(seen.back())) return seen.back();
    }
    throw std::runtime_error("expected line did not come");
}

bool hasValue(const json& line, const std::string& key, const std::string& value) {
    return line.value(key, "") == value;
}

DesktopServer::DesktopServer(std::chrono::milliseconds pasteRestore)
    : JsonLines({ORVIK_TEST_SERVER_PATH, "--desktop", "--paste-restore-ms", std::to_string(pasteRestore.count())}) {
    port = waitFor([](const json& l) { return hasValue(l, "status", "ready"); }).at("port").get<int>();
    url = listeningAfter("pairing").at("url").get<std::string>();
}

json DesktopServer::listeningAfter(const std::string& event) {
    auto line = waitFor([&](const json& l) { return hasValue(l, "event", event); });
    waitFor([](const json& l) { return hasValue(l, "status", "ready"); });
    return line;
}

DesktopServer::~DesktopServer() {
    process.closeInput();
    process.waitForExit(std::chrono::seconds(5));
}

Phone::Phone(const DesktopServer& server)
    : Phone(server, std::vector<std::string>{"--pair-url", server.url, "--reconnect"}) {}

Phone::Phone(const DesktopServer& server, const json& paired)
    : Phone(server, std::vector<std::string>{"--identity", paired.at("deviceID").get<std::string>(), "--key",
                                             paired.at("deviceKeyHex").get<std::string>()}) {}

Phone::Phone(const DesktopServer& server, std::vector<std::string> credentials)
    : JsonLines([&] {
          std::vector<std::string> argv{ORVIK_PHONE_PATH};
          argv.insert(argv.end(), credentials.begin(), credentials.end());
          for (const char* option : {"--quiet", "--stdin", "--wait-ms", "0", "--connect"}) argv.push_back(option);
          argv.push_back("127.0.0.1:" + std::to_string(server.port));
          return argv;
      }()) {}

void Phone::send(const OrvikMessage& message) {
    if (!process.write(toJson(message).dump() + "\n")) ADD_FAILURE() << "the phone stopped reading";
}

json Phone::status() {
    return waitFor([](const json& l) { return hasValue(l, "type", "status"); });
}

std::optional<int> Phone::end() {
    process.closeInput();
    while (auto line = process.readLine(lineWait)) seen.push_back(json::parse(*line));
    return process.waitForExit(lineWait);
}

} // namespace orvik::test
