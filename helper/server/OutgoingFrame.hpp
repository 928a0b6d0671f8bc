#pragma once

#include "orvik/protocol/coding/Frame.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <optional>
#include <string>

namespace orvik::helper {

// What the server puts on the wire for a message. A message that cannot be one frame (its payload above the
// frame limit: a large clipboard, a long list; or a payload with no wire form) is not dropped: a short refusal
// goes in its place, so that a phone waiting on a request identifier is always answered. The refusal takes the
// shape the request's own refusals take: a commandResult carrying its request identifier, an error carrying it
// for the screen displays, an error without one for a message that answers no request.
struct OutgoingFrame {
    static constexpr std::string_view tooLargeDetail = "too large";
    static constexpr std::string_view unencodableDetail = "cannot be encoded";

    Frame frame;
    // Why the message was replaced, as a log line; absent when it was not.
    std::optional<std::string> replaced;

    static OutgoingFrame of(const OrvikMessage& message);
};

} // namespace orvik::helper
