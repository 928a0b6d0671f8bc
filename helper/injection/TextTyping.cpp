#include "injection/TextTyping.hpp"

#include "core/UnicodeText.hpp"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <functional>
#include <memory>

namespace orvik::helper {
namespace {

bool isEmojiScalar(UChar32 scalar) {
    constexpr UChar32 variationSelector16 = 0xFE0F;
    // Below this, emoji-capable signs such as digits, #, *, © and ® are typed as text unless a selector
    // asks for emoji presentation.
    constexpr UChar32 firstSymbolAsEmoji = 0x2100;
    if (u_hasBinaryProperty(scalar, UCHAR_EMOJI_PRESENTATION)) return true;
    if (u_hasBinaryProperty(scalar, UCHAR_EMOJI_MODIFIER)) return true;
    if (scalar == variationSelector16) return true;
    return u_hasBinaryProperty(scalar, UCHAR_EMOJI) && scalar >= firstSymbolAsEmoji &&
           u_charType(scalar) == U_OTHER_SYMBOL;
}

bool isLineBreak(const icu::UnicodeString& character) {
    return character == icu::UnicodeString(u"\n") || character == icu::UnicodeString(u"\r") ||
           character == icu::UnicodeString(u"\r\n");
}

} // namespace

bool TextTyping::shouldPaste(std::string_view text, TextMode requested) {
    if (requested == TextMode::paste) return true;
    if (UnicodeText::hasMoreCharactersThan(UnicodeText::fromUtf8(text), pasteThresholdCharacters)) return true;
    return containsEmoji(text);
}

bool TextTyping::containsEmoji(std::string_view text) {
    auto units = UnicodeText::fromUtf8(text);
    for (std::int32_t index = 0; index < units.length(); index = units.moveIndex32(index, 1)) {
        if (isEmojiScalar(units.char32At(index))) return true;
    }
    return false;
}

std::vector<TextTyping::Segment> TextTyping::segments(std::string_view text) {
    auto units = UnicodeText::fromUtf8(text);
    std::vector<Segment> result;
    std::u16string pending;
    auto flush = [&] {
        if (pending.empty()) return;
        result.push_back(Segment::text(pending));
        pending.clear();
    };

    UnicodeText::forEachCharacter(units, [&](std::int32_t start, std::int32_t limit) {
        icu::UnicodeString character(units, start, limit - start);
        if (isLineBreak(character)) {
            flush();
            result.push_back(Segment::key(MacKey::returnKey));
        } else if (character == icu::UnicodeString(u"\t")) {
            flush();
            result.push_back(Segment::key(MacKey::tab));
        } else {
            auto length = static_cast<std::size_t>(character.length());
            if (pending.size() + length > maxChunkUTF16) flush();
            pending.append(character.getBuffer(), length);
            if (pending.size() >= maxChunkUTF16) flush();
        }
        return true;
    });
    flush();
    return result;
}

} // namespace orvik::helper
