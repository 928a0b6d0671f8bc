#include "orvik/protocol/messages/OrvikMessage.hpp"

#include "MessageTypeIndex.hpp"
#include "PayloadCodec.hpp"

#include <array>
#include <string>

namespace orvik {

namespace {
using Decoder = OrvikMessage (*)(ByteView);

template <std::size_t I> OrvikMessage decodeCase(ByteView payload) {
    return payload::decode<std::variant_alternative_t<I, OrvikMessage::Variant>>(payload);
}

template <class Payload> constexpr std::size_t caseIndexOf() {
    return []<std::size_t... I>(std::index_sequence<I...>) {
        std::size_t found = 0;
        ((std::is_same_v<Payload, std::variant_alternative_t<I, OrvikMessage::Variant>> ? (found = I) : 0), ...);
        return found;
    }
    (std::make_index_sequence<std::variant_size_v<OrvikMessage::Variant>>());
}

// One decoder per case, indexed like the variant.
constexpr auto decoders = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<Decoder, sizeof...(I)>{&decodeCase<I>...};
}
(std::make_index_sequence<std::variant_size_v<OrvikMessage::Variant>>());
} // namespace

std::optional<Bytes> OrvikMessage::encodedPayload() const {
    return std::visit([](const auto& value) { return payload::encode(value); }, value);
}

std::optional<Frame> OrvikMessage::frame() const {
    auto payload = encodedPayload();
    if (!payload || payload->size() > FrameHeader::maxPayloadLength) return std::nullopt;
    return Frame{static_cast<std::uint16_t>(type()), 0, std::move(*payload)};
}

bool OrvikMessage::isRateLimitedCommand() const {
    return routing(type()).metering == MessageRouting::Metering::metered;
}

bool OrvikMessage::isAllowedWhilePaused() const {
    switch (routing(type()).whilePaused) {
    case MessageRouting::WhilePaused::yes: return true;
    case MessageRouting::WhilePaused::whenOff: {
        const auto* overlay = get<OverlayCommand>();
        return overlay && overlay->mode == OverlayMode::off;
    }
    case MessageRouting::WhilePaused::no: break;
    }
    return false;
}

std::optional<std::uint32_t> OrvikMessage::requestID() const {
    return std::visit(
        [](const auto& payload) -> std::optional<std::uint32_t> {
            using Payload = std::decay_t<decltype(payload)>;
            constexpr auto index = caseIndexOf<Payload>();
            if constexpr (routing(allMessageTypes[index]).echo == MessageRouting::Echo::requestID) {
                return payload.requestID;
            } else {
                return std::nullopt;
            }
        },
        value);
}

OrvikMessage OrvikMessage::decode(const Frame& frame) {
    auto index = caseIndex(frame.type);
    if (!index) throw DecodingError::unknownMessageType("type " + std::to_string(frame.type));
    if (frame.payload.size() > FrameHeader::maxPayloadLength) {
        throw DecodingError::unexpectedLength("payload of " + std::to_string(frame.payload.size()) + " bytes");
    }
    return decoders[*index](frame.payload);
}

} // namespace orvik
