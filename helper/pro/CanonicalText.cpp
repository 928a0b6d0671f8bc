#include "pro/CanonicalText.hpp"

#include "core/UnicodeText.hpp"

#include <unicode/normalizer2.h>

namespace orvik::helper {

std::string CanonicalText::nfc(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    const icu::UnicodeString source = UnicodeText::fromUtf8(text);
    if (U_FAILURE(status) || normalizer == nullptr) return UnicodeText::toUtf8(source);
    icu::UnicodeString normalized = normalizer->normalize(source, status);
    if (U_FAILURE(status)) return UnicodeText::toUtf8(source);
    return UnicodeText::toUtf8(normalized);
}

} // namespace orvik::helper
