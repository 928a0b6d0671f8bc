#include "orvik/protocol/pairing/ManualPairingCode.hpp"

#include <algorithm>

namespace orvik {

namespace {

constexpr std::size_t groupSize = 5;
constexpr unsigned bitsPerSymbol = 5;
constexpr std::uint8_t symbolMask = 0x1F;
// x^5 + x^2 + 1: the reduction applied when doubling overflows five bits.
constexpr std::uint8_t fieldPolynomial = 0x25;

// Multiplication by 2 (the polynomial x) in GF(32).
std::uint8_t timesTwo(std::uint8_t x) {
    auto doubled = static_cast<std::uint8_t>(x << 1);
    return (doubled & 0x20) ? static_cast<std::uint8_t>(doubled ^ fieldPolynomial) : doubled;
}

std::optional<std::uint8_t> symbolValue(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c == 'O') c = '0';
    if (c == 'I' || c == 'L') c = '1';
    auto index = ManualPairingCode::alphabet.find(c);
    if (index == std::string_view::npos) return std::nullopt;
    return static_cast<std::uint8_t>(index);
}

bool isIgnorable(char c) {
    return c == '-' || c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

std::uint8_t ManualPairingCode::combine(std::uint8_t interim, std::uint8_t symbol) {
    return static_cast<std::uint8_t>(timesTwo(interim & symbolMask) ^ (symbol & symbolMask));
}

std::uint8_t ManualPairingCode::checkSymbol(const std::array<std::uint8_t, dataSymbolCount>& symbols) {
    std::uint8_t interim = 0;
    for (auto symbol : symbols) interim = combine(interim, symbol);
    // 2·r ⊕ c = 0 exactly when c = 2·r.
    return timesTwo(interim);
}

std::optional<ManualPairingCode> ManualPairingCode::fromPairingSecret(ByteView secret) {
    if (secret.size() < byteCount) return std::nullopt;
    ManualPairingCode code;
    std::copy(secret.begin(), secret.begin() + byteCount, code.bytes.begin());
    return code;
}

std::array<std::uint8_t, ManualPairingCode::symbolCount> ManualPairingCode::symbols() const {
    std::array<std::uint8_t, symbolCount> out{};
    std::array<std::uint8_t, dataSymbolCount> data{};
    std::uint32_t buffer = 0;
    unsigned bits = 0;
    std::size_t next = 0;
    for (auto byte : bytes) {
        buffer = buffer << 8 | byte;
        bits += 8;
        while (bits >= bitsPerSymbol) {
            bits -= bitsPerSymbol;
            data[next++] = static_cast<std::uint8_t>(buffer >> bits & symbolMask);
        }
        buffer &= (1u << bits) - 1;
    }
    std::copy(data.begin(), data.end(), out.begin());
    out[dataSymbolCount] = checkSymbol(data);
    return out;
}

std::string ManualPairingCode::formatted() const {
    std::string text;
    auto all = symbols();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (i > 0 && i % groupSize == 0) text.push_back('-');
        text.push_back(alphabet[all[i]]);
    }
    return text;
}

std::optional<ManualPairingCode> ManualPairingCode::parse(std::string_view text) {
    std::array<std::uint8_t, symbolCount> all{};
    std::size_t count = 0;
    for (char c : text) {
        if (isIgnorable(c)) continue;
        auto value = symbolValue(c);
        if (!value || count == symbolCount) return std::nullopt;
        all[count++] = *value;
    }
    if (count != symbolCount) return std::nullopt;

    std::uint8_t interim = 0;
    for (auto symbol : all) interim = combine(interim, symbol);
    if (interim != 0) return std::nullopt;

    ManualPairingCode code;
    std::uint32_t buffer = 0;
    unsigned bits = 0;
    std::size_t next = 0;
    for (std::size_t i = 0; i < dataSymbolCount; ++i) {
        buffer = buffer << bitsPerSymbol | all[i];
        bits += bitsPerSymbol;
        if (bits >= 8) {
            bits -= 8;
            code.bytes[next++] = static_cast<std::uint8_t>(buffer >> bits);
            buffer &= (1u << bits) - 1;
        }
    }
    return code;
}

} // namespace orvik
