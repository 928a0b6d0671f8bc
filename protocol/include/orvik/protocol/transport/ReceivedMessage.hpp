#pragma once

#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/coding/Frame.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <cstdint>
#include <variant>

namespace orvik {

// One frame as received: the decoded message, or the type code and the error of a frame that did not decode
// (an unknown type code, or a payload its decoder refused). Either way the connection goes on.
struct ReceivedMessage {
    struct Undecodable {
        std::uint16_t type;
        DecodingError error;
    };
    using Variant = std::variant<OrvikMessage, Undecodable>;

    Variant value;

    ReceivedMessage(OrvikMessage message) : value(std::move(message)) {}
    ReceivedMessage(Undecodable undecodable) : value(std::move(undecodable)) {}

    // Never throws DecodingError: a frame that does not decode becomes Undecodable.
    static ReceivedMessage decode(const Frame& frame);

    const OrvikMessage* message() const { return std::get_if<OrvikMessage>(&value); }
    const Undecodable* undecodable() const { return std::get_if<Undecodable>(&value); }
};

} // namespace orvik
