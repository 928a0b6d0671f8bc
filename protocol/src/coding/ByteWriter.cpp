#include "orvik/protocol/coding/ByteWriter.hpp"

#include <bit>
#include <limits>

namespace orvik {

static_assert(std::numeric_limits<float>::is_iec559 && sizeof(float) == 4);
static_assert(std::numeric_limits<double>::is_iec559 && sizeof(double) == 8);

namespace {
template <class Unsigned> void appendBigEndian(Bytes& out, Unsigned value) {
    for (int shift = static_cast<int>(sizeof(Unsigned) * 8) - 8; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}
} // namespace

void ByteWriter::writeU16(std::uint16_t value) {
    appendBigEndian(bytes_, value);
}
void ByteWriter::writeU32(std::uint32_t value) {
    appendBigEndian(bytes_, value);
}
void ByteWriter::writeU64(std::uint64_t value) {
    appendBigEndian(bytes_, value);
}
void ByteWriter::writeI32(std::int32_t value) {
    appendBigEndian(bytes_, static_cast<std::uint32_t>(value));
}
void ByteWriter::writeI64(std::int64_t value) {
    appendBigEndian(bytes_, static_cast<std::uint64_t>(value));
}
void ByteWriter::writeF32(float value) {
    appendBigEndian(bytes_, std::bit_cast<std::uint32_t>(value));
}
void ByteWriter::writeF64(double value) {
    appendBigEndian(bytes_, std::bit_cast<std::uint64_t>(value));
}
void ByteWriter::writeBytes(ByteView bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

} // namespace orvik
