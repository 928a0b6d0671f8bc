#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <cstddef>
#include <cstdint>

namespace orvik {

// Reads big-endian values from a view it does not own. Every read checks the remaining length first and
// throws DecodingError::truncated when the input is short, so nothing is allocated for a lying length.
class ByteReader {
public:
    explicit ByteReader(ByteView bytes) : bytes_(bytes) {}

    std::uint8_t readU8();
    std::uint16_t readU16();
    std::uint32_t readU32();
    std::uint64_t readU64();
    std::int32_t readI32();
    std::int64_t readI64();
    float readF32();
    double readF64();
    Bytes readBytes(std::size_t count);
    // A view into the input, valid as long as the input is.
    ByteView readView(std::size_t count);

    std::size_t remaining() const { return bytes_.size() - offset_; }
    std::size_t offset() const { return offset_; }
    // Throws DecodingError::unexpectedLength when bytes are left over.
    void expectEnd() const;

private:
    ByteView take(std::size_t count);

    ByteView bytes_;
    std::size_t offset_ = 0;
};

} // namespace orvik
