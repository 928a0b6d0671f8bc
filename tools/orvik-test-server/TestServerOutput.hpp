#pragma once

#include "injection/RecordedInput.hpp"
#include "server/ServerTypes.hpp"

#include <nlohmann/json.hpp>

#include <mutex>
#include <ostream>

namespace orvik::testserver {

// The fixture's one output: a JSON object per line, flushed at once so a reader on a pipe sees each line as it
// happens. Lines come from the server thread (input) and the event thread (server events); the lock keeps them
// whole.
class TestServerOutput {
public:
    explicit TestServerOutput(std::ostream& out) : out_(out) {}

    void line(const nlohmann::json& value);
    void input(const helper::RecordedInput& input);
    void event(const helper::ServerEvent& event);

    static nlohmann::json toJson(const helper::RecordedInput& input);
    static nlohmann::json toJson(const helper::ServerEvent& event);

private:
    std::mutex mutex_;
    std::ostream& out_;
};

} // namespace orvik::testserver
