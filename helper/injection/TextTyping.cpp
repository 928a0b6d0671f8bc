#include "injection/TextTyping.hpp"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <functional>
#include <memory>

namespace orvik::helper {
namespace {

icu::UnicodeString utf16(std::string_view text) {
    // ICU replaces ill-formed UTF-8 with U+FFFD.
    auto length = static_cast<std::int32_t>(text.size());
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), length));
}

using CharacterVisitor = std::function<bool(std::int32_t start, std::int32_t limit)>;

// Calls `visit(start, limit)` for each extended grapheme cluster, in UTF-16 offsets, until it returns false.
void forEachCharacter(const icu::UnicodeString& text, const CharacterVisitor& visit) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !characters) {
        // Without break rules fall back to code points, which still never splits a surrogate pair.
        for (std::int32_t start = 0; start < text.length(); start = text.moveIndex32(start, 1)) {
            if (!visit(start, text.moveIndex32(start, 1))) return;
        }
        return;
    }
    characters->setText(text);
    std::int32_t start = characters->first();
    for (std::int32_t limit = characters->next(); limit != icu::BreakIterator::DONE;
         start = limit, limit = characters->next()) {
        if (!visit(start, limit)) return;
    }
}

bool hasMoreCharactersThan(const icu::UnicodeString& text, std::size_t limit) {
    // Every character holds at least one unit, so a short text needs no segmentation.
    if (static_cast<std::size_t>(text.length()) <= limit) return false;
    std::size_t count = 0;
    forEachCharacter(text, [&](std::int32_t, std::int32_t) { return ++count <= limit; });
    return count > limit;
}

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
    if (hasMoreCharactersThan(utf16(text), pasteThresholdCharacters)) return true;
    return containsEmoji(text);
}

bool TextTyping::containsEmoji(std::string_view text) {
    auto units = utf16(text);
    for (std::int32_t index = 0; index < units.length(); index = units.moveIndex32(index, 1)) {
        if (isEmojiScalar(units.char32At(index))) return true;
    }
    return false;
}

std::vector<TextTyping::Segment> TextTyping::segments(std::string_view text) {
    auto units = utf16(text);
    std::vector<Segment> result;
    std::u16string pending;
    auto flush = [&] {
        if (pending.empty()) return;
        result.push_back(Segment::text(pending));
        pending.clear();
    };

    forEachCharacter(units, [&](std::int32_t start, std::int32_t limit) {
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
