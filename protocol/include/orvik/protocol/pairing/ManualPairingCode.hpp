#pragma once

#include "orvik/protocol/coding/Bytes.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvik {

// The typed alternative to the QR code: the first 15 bytes of the pairing secret as 24 base-32 symbols
// (alphabet "0123456789ABCDEFGHJKMNPQRSTVWXYZ", 5 bits each, most significant first) and one check symbol,
// shown as five groups of five joined by "-".
//
// The check symbol makes every single wrong symbol and every swap of two neighbours detectable: with the
// quasigroup x∘y = 2·x ⊕ y over GF(32) (polynomial x^5 + x^2 + 1), r starts at 0, r = r∘d for each data
// symbol d, and the check c is the one with r∘c = 0.
struct ManualPairingCode {
    static constexpr std::size_t byteCount = 15;
    static constexpr std::size_t dataSymbolCount = 24;
    static constexpr std::size_t symbolCount = dataSymbolCount + 1;
    static constexpr std::string_view alphabet = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";

    std::array<std::uint8_t, byteCount> bytes{};

    // The code of a secret's first 15 bytes; absent when the secret is shorter.
    static std::optional<ManualPairingCode> fromPairingSecret(ByteView secret);
    // 29 characters, e.g. "04106-...".
    std::string formatted() const;
    // What a person typed: any case, "-" and whitespace anywhere, "O" read as 0, "I" and "L" as 1. Absent
    // unless it is 25 symbols whose check symbol holds.
    static std::optional<ManualPairingCode> parse(std::string_view text);

    // The check arithmetic, public so that tests and clients can follow it.
    static std::uint8_t combine(std::uint8_t interim, std::uint8_t symbol);
    static std::uint8_t checkSymbol(const std::array<std::uint8_t, dataSymbolCount>& symbols);
    std::array<std::uint8_t, symbolCount> symbols() const;

    friend bool operator==(const ManualPairingCode&, const ManualPairingCode&) = default;
};

} // namespace orvik
