#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvik::helper {

// Characters of typed text as X11 keysyms.
class X11Unicode {
public:
    X11Unicode() = delete;

    static constexpr char32_t replacementCharacter = 0xFFFD;

    // The code points of UTF-16 text; an unpaired surrogate becomes U+FFFD.
    static std::u32string codePoints(std::u16string_view units);

    // The keysym that types `character`: Latin-1 characters are their own keysym, every other character is
    // 0x01000000 + its code point; line breaks type Return and a tab types Tab. Other control characters, and
    // surrogate code points, type nothing (0).
    static std::uint32_t keysym(char32_t character);
};

} // namespace orvik::helper
