#include "injection/x11/X11Unicode.hpp"

#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

namespace orvik::helper {
namespace {

constexpr bool isHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool isLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

constexpr std::uint32_t unicodeKeysymBase = 0x01000000;
constexpr char32_t lastCodePoint = 0x10FFFF;

} // namespace

std::u32string X11Unicode::codePoints(std::u16string_view units) {
    std::u32string result;
    result.reserve(units.size());
    for (std::size_t index = 0; index < units.size(); ++index) {
        char32_t unit = units[index];
        if (isHighSurrogate(unit) && index + 1 < units.size() && isLowSurrogate(units[index + 1])) {
            char32_t low = units[++index];
            result.push_back(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            result.push_back(replacementCharacter);
        } else {
            result.push_back(unit);
        }
    }
    return result;
}

std::array<std::uint32_t, 2> X11Unicode::keysyms(char32_t character) {
    if (character == U'\n' || character == U'\r') return {XK_Return, noSymbol};
    if (character == U'\t') return {XK_Tab, noSymbol};
    if (character < 0x20 || (character >= 0x7F && character < 0xA0)) return {noSymbol, noSymbol};
    if (character > lastCodePoint || isHighSurrogate(character) || isLowSurrogate(character)) {
        return {noSymbol, noSymbol};
    }
    std::uint32_t named = xkb_utf32_to_keysym(character);
    std::uint32_t unicode = character < 0x100 ? noSymbol : unicodeKeysymBase + character;
    if (named == noSymbol || named == unicode) return {unicode, noSymbol};
    return {named, unicode};
}

} // namespace orvik::helper
