#pragma once

// Google Test and the protocol before any X header: Xlib defines macros (None, Bool, Status) that clash with
// their names.
#include "ChildProcess.hpp"
#include "orvik/protocol/messages/MessageJson.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace orvik::test {

// Generous limits for other processes to act; nothing here measures time.
inline constexpr std::chrono::milliseconds lineWait{10000};
inline constexpr std::chrono::milliseconds settleLimit{10000};

// The full path of an installed program; throws when it is not on PATH.
std::string programPath(const std::string& name);
// Polls `condition` until it holds (true) or `limit` has passed (false).
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = settleLimit);

// A program whose standard output is one JSON object per line.
class JsonLines {
public:
    explicit JsonLines(std::vector<std::string> argv) : process(std::move(argv)) {}

    // The next line for which `matches` holds; every line read is kept in `seen`.
    nlohmann::json waitFor(const std::function<bool(const nlohmann::json&)>& matches);

    ChildProcess process;
    std::vector<nlohmann::json> seen;
};

bool hasValue(const nlohmann::json& line, const std::string& key, const std::string& value);

// orvik-test-server posting to this test's X display, its pairing window open. A paste stays on the clipboard
// for `pasteRestore` before the user's contents come back.
class DesktopServer : public JsonLines {
public:
    explicit DesktopServer(std::chrono::milliseconds pasteRestore);
    ~DesktopServer();

    // The next `event` line, once the listener is back: it re-opens at every key change (the pairing window,
    // a new device), and a connect before that is refused.
    nlohmann::json listeningAfter(const std::string& event);

    int port = 0;
    std::string url;
};

// orvik-phone sending what the test writes: paired by the server's URL, then authenticated with its new key; or
// authenticated as a device paired before.
class Phone : public JsonLines {
public:
    explicit Phone(const DesktopServer& server);
    Phone(const DesktopServer& server, const nlohmann::json& paired);

    // A test failure when the phone no longer reads its input.
    void send(const OrvikMessage& message);
    nlohmann::json status();
    // Ends the session from the phone's side: it closes the connection once everything written is sent.
    std::optional<int> end();

private:
    Phone(const DesktopServer& server, std::vector<std::string> credentials);
};

} // namespace orvik::test
