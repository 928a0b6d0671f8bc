#include "server/PairingNames.hpp"

#include "core/UnicodeText.hpp"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <memory>

namespace orvik::helper {
namespace {

bool isDropped(UChar32 c) {
    auto category = u_charType(c);
    return category == U_CONTROL_CHAR || category == U_FORMAT_CHAR || category == U_UNASSIGNED ||
           u_hasBinaryProperty(c, UCHAR_NONCHARACTER_CODE_POINT);
}

bool isTrimmed(UChar32 c) {
    auto category = u_charType(c);
    return category == U_SPACE_SEPARATOR || category == U_LINE_SEPARATOR || category == U_PARAGRAPH_SEPARATOR ||
           (c >= 0x0A && c <= 0x0D) || c == 0x85;
}

icu::UnicodeString withoutDroppedCharacters(const icu::UnicodeString& text) {
    icu::UnicodeString kept;
    for (int32_t index = 0; index < text.length();) {
        UChar32 c = text.char32At(index);
        if (!isDropped(c)) kept.append(c);
        index = text.moveIndex32(index, 1);
    }
    return kept;
}

icu::UnicodeString trimmed(const icu::UnicodeString& text) {
    int32_t start = 0;
    int32_t end = text.length();
    while (start < end && isTrimmed(text.char32At(start))) start = text.moveIndex32(start, 1);
    while (end > start) {
        int32_t previous = text.moveIndex32(end, -1);
        if (!isTrimmed(text.char32At(previous))) break;
        end = previous;
    }
    return icu::UnicodeString(text, start, end - start);
}

icu::UnicodeString firstGraphemeClusters(const icu::UnicodeString& text, int count) {
    int taken = 0;
    int32_t boundary = 0;
    bool longer = false;
    UnicodeText::forEachCharacter(text, [&](int32_t, int32_t limit) {
        if (taken == count) {
            longer = true;
            return false;
        }
        ++taken;
        boundary = limit;
        return true;
    });
    return longer ? icu::UnicodeString(text, 0, boundary) : text;
}

} // namespace

std::string PairingNames::sanitized(std::string_view name) {
    auto text = UnicodeText::fromUtf8(name);
    auto cleaned = firstGraphemeClusters(trimmed(withoutDroppedCharacters(text)), maxLength);
    if (cleaned.isEmpty()) return std::string(fallbackName);
    return UnicodeText::toUtf8(cleaned);
}

} // namespace orvik::helper
