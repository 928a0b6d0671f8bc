#include "server/OutgoingFrame.hpp"

#include <concepts>

namespace orvik::helper {

namespace {

// The request a reply answers: the identifier it echoes (an error's may be absent).
std::optional<std::uint32_t> answeredRequest(const OrvikMessage& message) {
    return std::visit(
        [](const auto& payload) -> std::optional<std::uint32_t> {
            if constexpr (requires {
                              { payload.requestID } -> std::convertible_to<std::optional<std::uint32_t>>;
                          }) {
                return payload.requestID;
            } else {
                return std::nullopt;
            }
        },
        message.value);
}

OrvikMessage refusal(const OrvikMessage& message, ErrorCode code, std::string_view detail) {
    auto request = answeredRequest(message);
    // The screen displays are refused with an error that carries the request identifier; so is an error itself.
    const bool asError = message.get<ScreenDisplays>() || message.get<ErrorMessage>();
    if (request && !asError) return CommandResult{*request, code, std::string(detail)};
    return ErrorMessage{code, std::string(detail), request};
}

} // namespace

OutgoingFrame OutgoingFrame::of(const OrvikMessage& message) {
    const auto type = static_cast<std::uint16_t>(message.type());
    auto payload = message.encodedPayload();
    if (payload && payload->size() <= FrameHeader::maxPayloadLength) {
        return {Frame{type, 0, std::move(*payload)}, std::nullopt};
    }

    std::string line = std::string(name(message.type()));
    OrvikMessage replacement = refusal(message, ErrorCode::internalError, unencodableDetail);
    if (payload) {
        line = "Reply too large: " + line + " of " + std::to_string(payload->size()) + " bytes";
        replacement = refusal(message, ErrorCode::invalidRequest, tooLargeDetail);
    } else {
        line = "Reply cannot be encoded: " + line;
    }
    // A refusal is a few dozen bytes and always encodes.
    return {*replacement.frame(), std::move(line)};
}

} // namespace orvik::helper
