#include "screen/NalUnits.hpp"

namespace orvik::helper {

namespace {

// Index just after the next start code at or after `from`, or the size when there is none.
std::size_t nextStart(std::span<const std::uint8_t> stream, std::size_t from, std::size_t& codeAt) {
    for (std::size_t i = from; i + 3 <= stream.size(); ++i) {
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) {
            codeAt = (i > from && stream[i - 1] == 0) ? i - 1 : i;
            return i + 3;
        }
    }
    codeAt = stream.size();
    return stream.size();
}

} // namespace

std::vector<std::span<const std::uint8_t>> NalUnits::splitAnnexB(std::span<const std::uint8_t> stream) {
    std::vector<std::span<const std::uint8_t>> units;
    std::size_t codeAt = 0;
    std::size_t begin = nextStart(stream, 0, codeAt);
    while (begin < stream.size()) {
        const std::size_t next = nextStart(stream, begin, codeAt);
        if (codeAt > begin) units.push_back(stream.subspan(begin, codeAt - begin));
        begin = next;
    }
    return units;
}

std::vector<std::span<const std::uint8_t>> NalUnits::splitLengthPrefixed(std::span<const std::uint8_t> picture) {
    std::vector<std::span<const std::uint8_t>> units;
    std::size_t at = 0;
    while (at < picture.size()) {
        if (picture.size() - at < lengthFieldSize) return {};
        std::size_t length = 0;
        for (std::size_t i = 0; i < lengthFieldSize; ++i) length = length << 8 | picture[at + i];
        at += lengthFieldSize;
        if (length > picture.size() - at) return {};
        units.push_back(picture.subspan(at, length));
        at += length;
    }
    return units;
}

void NalUnits::appendLengthPrefixed(Bytes& out, std::span<const std::uint8_t> unit) {
    const auto length = static_cast<std::uint32_t>(unit.size());
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(length >> shift));
    out.insert(out.end(), unit.begin(), unit.end());
}

void NalUnits::appendAnnexB(Bytes& out, std::span<const std::uint8_t> unit) {
    out.insert(out.end(), {0, 0, 0, 1});
    out.insert(out.end(), unit.begin(), unit.end());
}

} // namespace orvik::helper
