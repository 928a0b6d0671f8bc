#pragma once

#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <cstdint>
#include <optional>

namespace orvik::helper {

// The three properties of a message that steer the command dispatch. They are defined with each message in the
// protocol's message list, which phones read as well.

// The request identifier the reply must echo (screenDisplaysRequest has one but its refusals are errors).
inline std::optional<std::uint32_t> requestID(const OrvikMessage& message) {
    return message.requestID();
}

// Whether the message spends one of the session's command tokens.
inline bool isRateLimitedCommand(const OrvikMessage& message) {
    return message.isRateLimitedCommand();
}

// Whether the message is served while control is paused.
inline bool isAllowedWhilePaused(const OrvikMessage& message) {
    return message.isAllowedWhilePaused();
}

} // namespace orvik::helper
