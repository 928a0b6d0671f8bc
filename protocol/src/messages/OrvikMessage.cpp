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

// One decoder per case, indexed like the variant.
constexpr auto decoders = []<std::size_t... I>(std::index_sequence<I...>) {
    return std::array<Decoder, sizeof...(I)>{&decodeCase<I>...};
}
(std::make_index_sequence<std::variant_size_v<OrvikMessage::Variant>>());
} // namespace

std::optional<Frame> OrvikMessage::frame() const {
    auto payload = std::visit([](const auto& value) { return payload::encode(value); }, value);
    if (!payload || payload->size() > FrameHeader::maxPayloadLength) return std::nullopt;
    return Frame{static_cast<std::uint16_t>(type()), 0, std::move(*payload)};
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
