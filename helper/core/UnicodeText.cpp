#include "core/UnicodeText.hpp"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>

#include <memory>

namespace orvik::helper {

icu::UnicodeString UnicodeText::fromUtf8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
}

std::string UnicodeText::toUtf8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

void UnicodeText::forEachCharacter(const icu::UnicodeString& text, const CharacterVisitor& visit) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !characters) {
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

bool UnicodeText::hasMoreCharactersThan(const icu::UnicodeString& text, std::size_t limit) {
    // Every character holds at least one unit, so a short text needs no segmentation.
    if (static_cast<std::size_t>(text.length()) <= limit) return false;
    std::size_t count = 0;
    forEachCharacter(text, [&](std::int32_t, std::int32_t) { return ++count <= limit; });
    return count > limit;
}

std::string UnicodeText::nfc(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    const icu::UnicodeString source = fromUtf8(text);
    if (U_FAILURE(status) || normalizer == nullptr) return toUtf8(source);
    const icu::UnicodeString normalized = normalizer->normalize(source, status);
    return toUtf8(U_FAILURE(status) ? source : normalized);
}

} // namespace orvik::helper
