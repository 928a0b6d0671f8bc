#include "orvik/protocol/coding/FrameHeader.hpp"

#include "orvik/protocol/coding/ByteReader.hpp"
#include "orvik/protocol/coding/DecodingError.hpp"

#include <string>

namespace orvik {

std::array<std::uint8_t, FrameHeader::size> FrameHeader::encoded() const {
    return {static_cast<std::uint8_t>(type >> 8),           static_cast<std::uint8_t>(type),
            static_cast<std::uint8_t>(flags >> 8),          static_cast<std::uint8_t>(flags),
            static_cast<std::uint8_t>(payloadLength >> 24), static_cast<std::uint8_t>(payloadLength >> 16),
            static_cast<std::uint8_t>(payloadLength >> 8),  static_cast<std::uint8_t>(payloadLength)};
}

FrameHeader FrameHeader::decode(ByteView bytes) {
    if (bytes.size() > size)
        throw DecodingError::unexpectedLength("frame header of " + std::to_string(bytes.size()) + " bytes");
    ByteReader reader(bytes);
    FrameHeader header;
    header.type = reader.readU16();
    header.flags = reader.readU16();
    header.payloadLength = reader.readU32();
    if (header.payloadLength > maxPayloadLength) {
        throw DecodingError::unexpectedLength("payload length " + std::to_string(header.payloadLength) +
                                              " over the limit");
    }
    return header;
}

} // namespace orvik
