#pragma once

#include "orvik/protocol/coding/Frame.hpp"
#include "orvik/protocol/messages/CommandMessages.hpp"
#include "orvik/protocol/messages/ErrorMessage.hpp"
#include "orvik/protocol/messages/HandshakeMessages.hpp"
#include "orvik/protocol/messages/HelperStatus.hpp"
#include "orvik/protocol/messages/InputMessages.hpp"
#include "orvik/protocol/messages/MessageType.hpp"
#include "orvik/protocol/messages/QueryMessages.hpp"
#include "orvik/protocol/messages/ScreenFrame.hpp"
#include "orvik/protocol/messages/ScreenMessages.hpp"
#include "orvik/protocol/messages/SignalMessages.hpp"

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace orvik {

namespace detail {
// The variant index of each case, and its payload type, from the message list.
enum class CaseIndex : std::size_t {
#define ORVIK_MESSAGE_INDEX(name, ...) name,
    ORVIK_MESSAGE_LIST(ORVIK_MESSAGE_INDEX)
#undef ORVIK_MESSAGE_INDEX
};
template <std::size_t I> struct PayloadAt;
#define ORVIK_MESSAGE_PAYLOAD(name, code, Payload, ...)                                                                \
    template <> struct PayloadAt<static_cast<std::size_t>(CaseIndex::name)> { using type = Payload; };
ORVIK_MESSAGE_LIST(ORVIK_MESSAGE_PAYLOAD)
#undef ORVIK_MESSAGE_PAYLOAD
template <class Indices> struct CaseVariant;
template <std::size_t... I> struct CaseVariant<std::index_sequence<I...>> {
    using type = std::variant<typename PayloadAt<I>::type...>;
};
} // namespace detail

// Every protocol message: one payload type per case, the variant index being the case's position in
// allMessageTypes (both from MessageList.hpp). The payloads of pointerMove, button, scroll, key, ping, pong,
// pointerAbsolute, screenFrame and screenFrameAck are fixed binary layouts; those of the signal messages
// (SignalMessages.hpp) are empty; all others are UTF-8 JSON objects.
struct OrvikMessage {
    using Variant = detail::CaseVariant<std::make_index_sequence<allMessageTypes.size()>>::type;

    template <class T> static constexpr bool isPayload = []<std::size_t... I>(std::index_sequence<I...>) {
        return (std::is_same_v<T, std::variant_alternative_t<I, Variant>> || ...);
    }
    (std::make_index_sequence<std::variant_size_v<Variant>>());

    Variant value;

    // Payload types only, so it never stands in for the copy and move constructors.
    template <class T>
    requires isPayload<std::remove_cvref_t<T>>
    OrvikMessage(T&& payload) // NOLINT(bugprone-forwarding-reference-overload)
        : value(std::in_place_type<std::remove_cvref_t<T>>, std::forward<T>(payload)) {}

    MessageType type() const { return allMessageTypes[value.index()]; }

    template <class T> const T* get() const { return std::get_if<T>(&value); }

    // The dispatch properties of its type (MessageRouting), the overlay's mode taken into account.
    bool isRateLimitedCommand() const;
    bool isAllowedWhilePaused() const;
    // The request identifier a refusal echoes: the payload's, for the messages whose row says so.
    std::optional<std::uint32_t> requestID() const;

    // Absent when the message cannot be put on the wire: a payload above FrameHeader::maxPayloadLength, or a
    // JSON payload holding a non-finite number, text that is not UTF-8 or an enumeration value outside its cases.
    std::optional<Frame> frame() const;
    // The payload whatever its length; absent only when it has no wire form (the second case above).
    std::optional<Bytes> encodedPayload() const;

    // Throws DecodingError: unknownMessageType for a code that names no message; unexpectedLength for a payload
    // above the frame limit, a binary payload of the wrong length or a non-empty payload of a signal message;
    // otherwise as the payload's decoder.
    static OrvikMessage decode(const Frame& frame);

    friend bool operator==(const OrvikMessage&, const OrvikMessage&) = default;
};

} // namespace orvik
