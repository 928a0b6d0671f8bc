#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace orvik {

// Appends big-endian values. Floats are written as their IEEE-754 bit patterns.
class ByteWriter {
public:
    ByteWriter() = default;
    explicit ByteWriter(std::size_t reserve) { bytes_.reserve(reserve); }

    void writeU8(std::uint8_t value) { bytes_.push_back(value); }
    void writeU16(std::uint16_t value);
    void writeU32(std::uint32_t value);
    void writeU64(std::uint64_t value);
    void writeI32(std::int32_t value);
    void writeI64(std::int64_t value);
    void writeF32(float value);
    void writeF64(double value);
    void writeBytes(ByteView bytes);

    std::size_t size() const { return bytes_.size(); }
    const Bytes& bytes() const& { return bytes_; }
    Bytes bytes() && { return std::move(bytes_); }

private:
    Bytes bytes_;
};

} // namespace orvik
