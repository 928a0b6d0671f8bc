#include "orvik/protocol/coding/Base64.hpp"

#include <array>

namespace orvik {

namespace {

constexpr std::string_view standardAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view urlSafeAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr std::int8_t notInAlphabet = -1;

constexpr std::array<std::int8_t, 256> reverse(std::string_view alphabet) {
    std::array<std::int8_t, 256> table{};
    table.fill(notInAlphabet);
    for (std::size_t i = 0; i < alphabet.size(); ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
    }
    return table;
}

constexpr auto standardValues = reverse(standardAlphabet);
constexpr auto urlSafeValues = reverse(urlSafeAlphabet);

std::string encodeWith(ByteView bytes, std::string_view alphabet, bool pad) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        std::uint32_t group = std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) out.push_back(alphabet[group >> shift & 0x3F]);
    }
    std::size_t rest = bytes.size() - i;
    if (rest == 0) return out;
    std::uint32_t group = std::uint32_t{bytes[i]} << 16 | (rest == 2 ? std::uint32_t{bytes[i + 1]} << 8 : 0);
    out.push_back(alphabet[group >> 18 & 0x3F]);
    out.push_back(alphabet[group >> 12 & 0x3F]);
    if (rest == 2) out.push_back(alphabet[group >> 6 & 0x3F]);
    if (pad) out.append(rest == 1 ? "==" : "=");
    return out;
}

// Decodes unpadded symbols. A trailing group of one symbol, or unused bits that are not zero, is invalid.
std::optional<Bytes> decodeSymbols(std::string_view text, const std::array<std::int8_t, 256>& values) {
    if (text.size() % 4 == 1) return std::nullopt;
    Bytes out;
    out.reserve(text.size() / 4 * 3 + 2);
    std::uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        auto value = values[static_cast<unsigned char>(c)];
        if (value == notInAlphabet) return std::nullopt;
        buffer = (buffer << 6 | static_cast<std::uint32_t>(value)) & 0xFFFFFF;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(buffer >> bits));
        }
    }
    if ((buffer & ((1u << bits) - 1)) != 0) return std::nullopt;
    return out;
}

} // namespace

std::string Base64::encode(ByteView bytes) {
    return encodeWith(bytes, standardAlphabet, true);
}

std::string Base64::encodeURLSafe(ByteView bytes) {
    return encodeWith(bytes, urlSafeAlphabet, false);
}

std::optional<Bytes> Base64::decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
    return decodeSymbols(text.substr(0, text.size() - padding), standardValues);
}

std::optional<Bytes> Base64::decodeURLSafe(std::string_view text) {
    return decodeSymbols(text, urlSafeValues);
}

} // namespace orvik
