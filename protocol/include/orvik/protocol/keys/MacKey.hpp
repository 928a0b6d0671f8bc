#pragma once

#include "orvik/protocol/keys/ModifierFlags.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace orvik {

// The keys of a standard ANSI Mac keyboard. The value is the macOS virtual key code, which is what travels in
// key events. The right-hand modifier codes (0x36, 0x3C, 0x3D, 0x3E) deliberately name no key.
// clang-format off
enum class MacKey : std::uint16_t {
    a = 0x00, s = 0x01, d = 0x02, f = 0x03, h = 0x04, g = 0x05, z = 0x06, x = 0x07, c = 0x08, v = 0x09,
    b = 0x0B, q = 0x0C, w = 0x0D, e = 0x0E, r = 0x0F, y = 0x10, t = 0x11,
    digit1 = 0x12, digit2 = 0x13, digit3 = 0x14, digit4 = 0x15, digit6 = 0x16, digit5 = 0x17,
    equal = 0x18, digit9 = 0x19, digit7 = 0x1A, minus = 0x1B, digit8 = 0x1C, digit0 = 0x1D,
    rightBracket = 0x1E, o = 0x1F, u = 0x20, leftBracket = 0x21, i = 0x22, p = 0x23,
    returnKey = 0x24, l = 0x25, j = 0x26, quote = 0x27, k = 0x28, semicolon = 0x29, backslash = 0x2A,
    comma = 0x2B, slash = 0x2C, n = 0x2D, m = 0x2E, period = 0x2F,
    tab = 0x30, space = 0x31, grave = 0x32, deleteKey = 0x33, escape = 0x35,
    command = 0x37, shift = 0x38, capsLock = 0x39, option = 0x3A, control = 0x3B, function = 0x3F,
    f5 = 0x60, f6 = 0x61, f7 = 0x62, f3 = 0x63, f8 = 0x64, f9 = 0x65, f11 = 0x67, f10 = 0x6D, f12 = 0x6F,
    home = 0x73, pageUp = 0x74, forwardDelete = 0x75, f4 = 0x76, end = 0x77, f2 = 0x78, pageDown = 0x79,
    f1 = 0x7A, leftArrow = 0x7B, rightArrow = 0x7C, downArrow = 0x7D, upArrow = 0x7E,
};
// clang-format on

// Every key, ordered by code.
extern const std::array<MacKey, 79> allMacKeys;

// The key with this virtual key code, or absent when the code names none.
std::optional<MacKey> macKey(std::uint16_t raw);
constexpr std::uint16_t rawValue(MacKey key) {
    return static_cast<std::uint16_t>(key);
}
// The flag of the five modifier keys (caps lock is not one); absent for every other key.
std::optional<ModifierFlags> modifierFlag(MacKey key);

// The key's name in key-combination text: "a", "1", "return", "leftArrow", "f12"...
std::string_view name(MacKey key);
// The key called this, ignoring case; accepts the names above and the aliases of the key-combination grammar.
std::optional<MacKey> macKeyNamed(std::string_view name);

} // namespace orvik
