// Feeds arbitrary bytes, in chunks of arbitrary sizes, through the frame reader of the transport.
// Checks: nothing crashes, no frame exceeds the limit, and the frames re-encoded are exactly the bytes taken.

#include "orvik/protocol/transport/FrameReader.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace orvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the chunk size, so the fuzzer explores how the stream is split.
    const std::size_t chunk = std::size_t(data[0]) + 1;
    ByteView stream(data + 1, size - 1);

    FrameReader reader;
    Bytes reencoded;
    bool refused = false;
    for (std::size_t offset = 0; offset < stream.size() && !refused; offset += chunk) {
        reader.append(stream.subspan(offset, std::min(chunk, stream.size() - offset)));
        try {
            while (auto frame = reader.next()) {
                if (frame->payload.size() > FrameHeader::maxPayloadLength) std::abort();
                auto bytes = frame->encoded();
                reencoded.insert(reencoded.end(), bytes.begin(), bytes.end());
            }
        } catch (const DecodingError& error) {
            if (error.kind() != DecodingError::Kind::unexpectedLength) std::abort();
            refused = true;
        }
    }
    if (reencoded.size() > stream.size()) std::abort();
    if (!std::equal(reencoded.begin(), reencoded.end(), stream.begin())) std::abort();
    if (!refused && reencoded.size() + reader.partialBytes() != stream.size()) std::abort();
    return 0;
}
