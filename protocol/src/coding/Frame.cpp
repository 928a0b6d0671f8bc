#include "orvik/protocol/coding/Frame.hpp"

#include "orvik/protocol/coding/DecodingError.hpp"

#include <stdexcept>
#include <string>

namespace orvik {

FrameHeader Frame::header() const {
    if (!fitsLimit()) throw std::length_error("frame payload of " + std::to_string(payload.size()) + " bytes");
    return {type, flags, static_cast<std::uint32_t>(payload.size())};
}

Bytes Frame::encoded() const {
    auto head = header().encoded();
    Bytes out;
    out.reserve(head.size() + payload.size());
    out.assign(head.begin(), head.end());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Frame Frame::decode(ByteView bytes) {
    if (bytes.size() < FrameHeader::size) throw DecodingError::truncated("frame shorter than its header");
    auto header = FrameHeader::decode(bytes.first(FrameHeader::size));
    auto rest = bytes.subspan(FrameHeader::size);
    if (rest.size() < header.payloadLength) throw DecodingError::truncated("frame shorter than its payload length");
    if (rest.size() > header.payloadLength) throw DecodingError::unexpectedLength("bytes after the frame");
    return {header.type, header.flags, Bytes(rest.begin(), rest.end())};
}

} // namespace orvik
