#pragma once

#include "orvik/protocol/transport/ConnectionError.hpp"
#include "orvik/protocol/transport/ReceivedMessage.hpp"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

namespace orvik::phone {

// Everything the tool reports: one JSON object per line on `out` (flushed at once, so a reader on a pipe
// sees each line as it happens), and human diagnostics on `diagnostics`.
class PhoneOutput {
public:
    PhoneOutput(std::ostream& out, std::ostream& diagnostics, bool quiet)
        : out_(out), diagnostics_(diagnostics), quiet_(quiet) {}

    void received(const ReceivedMessage& message);
    // A tool event: {"event": name, ...fields}. Left out with --quiet unless `always`.
    void event(const std::string& name, nlohmann::json fields = nlohmann::json::object(), bool always = false);
    void failure(const std::string& stage, const ConnectionError& error);
    void diagnostic(const std::string& text);

private:
    void line(const nlohmann::json& value);

    std::ostream& out_;
    std::ostream& diagnostics_;
    bool quiet_;
};

} // namespace orvik::phone
