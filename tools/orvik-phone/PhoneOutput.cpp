#include "PhoneOutput.hpp"

#include "orvik/protocol/messages/MessageJson.hpp"
#include "orvik/protocol/transport/OrvikTLS.hpp"

namespace orvik::phone {

void PhoneOutput::received(const ReceivedMessage& message) {
    if (const auto* decoded = message.message()) {
        try {
            line(toJson(*decoded));
            return;
        } catch (const std::exception& error) {
            event("undecodable", {{"code", static_cast<int>(decoded->type())}, {"error", error.what()}}, true);
            return;
        }
    }
    const auto* undecodable = message.undecodable();
    event("undecodable", {{"code", undecodable->type}, {"error", undecodable->error.what()}}, true);
}

void PhoneOutput::event(const std::string& name, nlohmann::json fields, bool always) {
    if (quiet_ && !always) return;
    nlohmann::json value{{"event", name}};
    value.update(fields);
    line(value);
}

void PhoneOutput::failure(const std::string& stage, const ConnectionError& error) {
    nlohmann::json fields{{"stage", stage},
                          {"kind", toString(error.kind())},
                          {"error", error.what()},
                          {"authenticationFailure", OrvikTLS::isAuthenticationFailure(error)}};
    event("failed", std::move(fields));
    diagnostic(stage + " failed: " + error.what());
}

void PhoneOutput::diagnostic(const std::string& text) {
    diagnostics_ << "orvik-phone: " << text << std::endl;
}

void PhoneOutput::line(const nlohmann::json& value) {
    out_ << value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

} // namespace orvik::phone
