#pragma once

#include <string>
#include <string_view>

namespace orvik::helper {

// Identifiers that arrive from the phone and from the desktop may spell the same text with different code point
// sequences (a precomposed "é" or "e" and a combining accent). Both sides are brought into one canonical form
// before they are stored or compared.
class CanonicalText {
public:
    CanonicalText() = delete;

    // The text in Unicode normalisation form C; ill-formed UTF-8 comes back with U+FFFD in its place.
    static std::string nfc(std::string_view text);
};

} // namespace orvik::helper
