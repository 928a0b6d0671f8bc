#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvik::helper {

// Characters of typed text as X11 keysyms.
class X11Unicode {
public:
    X11Unicode() = delete;

    static constexpr char32_t replacementCharacter = 0xFFFD;
    static constexpr std::uint32_t noSymbol = 0;

    // The code points of UTF-16 text; an unpaired surrogate becomes U+FFFD.
    static std::u32string codePoints(std::u16string_view units);

    // The keysyms that type `character`, the preferred first: its keysym as libxkbcommon names it (Latin-1
    // characters are their own keysym, many others have a legacy keysym such as Cyrillic_ya), then, when that
    // differs, its Unicode keysym 0x01000000 + code point, which layouts also use. Line breaks type Return and a
    // tab types Tab. Other control characters and surrogate code points type nothing (both noSymbol).
    static std::array<std::uint32_t, 2> keysyms(char32_t character);
};

} // namespace orvik::helper
