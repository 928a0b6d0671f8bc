#pragma once

#include <unicode/unistr.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace orvik::helper {

// UTF-8 and UTF-16 text through ICU, and its user-perceived characters (extended grapheme clusters). Every
// conversion replaces what is ill-formed (bad UTF-8 sequences, unpaired surrogates) with U+FFFD.
class UnicodeText {
public:
    UnicodeText() = delete;

    static icu::UnicodeString fromUtf8(std::string_view text);
    static std::string toUtf8(const icu::UnicodeString& text);
    // Bytes of unknown origin as well-formed UTF-8.
    static std::string wellFormed(std::string_view bytes) { return toUtf8(fromUtf8(bytes)); }
    // The text in Unicode normalisation form C, so that a precomposed "é" and "e" with a combining accent compare
    // equal; ill-formed UTF-8 comes back with U+FFFD in its place.
    static std::string nfc(std::string_view text);

    // Receives a character's bounds in UTF-16 offsets; returns false to stop.
    using CharacterVisitor = std::function<bool(std::int32_t start, std::int32_t limit)>;
    // Visits the characters in order. Where ICU has no break rules it falls back to code points, which still
    // never splits a surrogate pair.
    static void forEachCharacter(const icu::UnicodeString& text, const CharacterVisitor& visit);
    // Whether `text` holds more than `limit` characters; stops counting there.
    static bool hasMoreCharactersThan(const icu::UnicodeString& text, std::size_t limit);
};

} // namespace orvik::helper
