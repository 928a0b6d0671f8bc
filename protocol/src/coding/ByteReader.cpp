#include "orvik/protocol/coding/ByteReader.hpp"

#include "orvik/protocol/coding/DecodingError.hpp"

#include <bit>
#include <string>

namespace orvik {

namespace {
template <class Unsigned> Unsigned bigEndian(ByteView bytes) {
    Unsigned value = 0;
    for (auto byte : bytes) value = static_cast<Unsigned>(value << 8 | byte);
    return value;
}
} // namespace

ByteView ByteReader::take(std::size_t count) {
    if (count > remaining()) {
        throw DecodingError::truncated("needed " + std::to_string(count) + " bytes, " + std::to_string(remaining()) +
                                       " left");
    }
    auto view = bytes_.subspan(offset_, count);
    offset_ += count;
    return view;
}

std::uint8_t ByteReader::readU8() {
    return take(1)[0];
}
std::uint16_t ByteReader::readU16() {
    return bigEndian<std::uint16_t>(take(2));
}
std::uint32_t ByteReader::readU32() {
    return bigEndian<std::uint32_t>(take(4));
}
std::uint64_t ByteReader::readU64() {
    return bigEndian<std::uint64_t>(take(8));
}
std::int32_t ByteReader::readI32() {
    return static_cast<std::int32_t>(readU32());
}
std::int64_t ByteReader::readI64() {
    return static_cast<std::int64_t>(readU64());
}
float ByteReader::readF32() {
    return std::bit_cast<float>(readU32());
}
double ByteReader::readF64() {
    return std::bit_cast<double>(readU64());
}

Bytes ByteReader::readBytes(std::size_t count) {
    auto view = take(count);
    return Bytes(view.begin(), view.end());
}

ByteView ByteReader::readView(std::size_t count) {
    return take(count);
}

void ByteReader::expectEnd() const {
    if (remaining() != 0) throw DecodingError::unexpectedLength(std::to_string(remaining()) + " trailing bytes");
}

} // namespace orvik
