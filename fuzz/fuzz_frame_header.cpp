// Frame header and whole-frame decoding: only DecodingError may escape, and whatever decodes encodes back to
// the same bytes.
#include "orvik/protocol/coding/DecodingError.hpp"
#include "orvik/protocol/coding/Frame.hpp"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvik::ByteView input(data, size);
    try {
        auto header = orvik::FrameHeader::decode(input);
        if (header.payloadLength > orvik::FrameHeader::maxPayloadLength) std::abort();
        auto encoded = header.encoded();
        if (!std::equal(encoded.begin(), encoded.end(), input.begin())) std::abort();
    } catch (const orvik::DecodingError&) {
    }
    try {
        auto frame = orvik::Frame::decode(input);
        auto encoded = frame.encoded();
        if (!std::equal(encoded.begin(), encoded.end(), input.begin(), input.end())) std::abort();
    } catch (const orvik::DecodingError&) {
    }
    return 0;
}
