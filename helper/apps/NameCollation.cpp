#include "apps/NameCollation.hpp"

#include "core/UnicodeText.hpp"

#include <algorithm>
#include <cstdlib>

namespace orvik::helper {
namespace {

constexpr const char* fallbackLocale = "en_US";

} // namespace

NameCollation::NameCollation(const std::string& locale) {
    const bool plain = locale.empty() || locale == "C" || locale == "POSIX";
    UErrorCode status = U_ZERO_ERROR;
    collator_.reset(icu::Collator::createInstance(icu::Locale(plain ? fallbackLocale : locale.c_str()), status));
    if (U_FAILURE(status) || !collator_) {
        status = U_ZERO_ERROR;
        collator_.reset(icu::Collator::createInstance(icu::Locale(fallbackLocale), status));
    }
    if (collator_) collator_->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
}

NameCollation::~NameCollation() = default;

std::string NameCollation::currentLocale() {
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value) continue;
        std::string locale(value);
        // "de_DE.UTF-8@euro" → "de_DE".
        locale = locale.substr(0, locale.find_first_of(".@"));
        return locale == "C" || locale == "POSIX" ? std::string() : locale;
    }
    return {};
}

bool NameCollation::less(const std::string& left, const std::string& right) const {
    if (!collator_) return left < right;
    UErrorCode status = U_ZERO_ERROR;
    const auto order = collator_->compare(UnicodeText::fromUtf8(left), UnicodeText::fromUtf8(right), status);
    return U_SUCCESS(status) ? order == UCOL_LESS : left < right;
}

void NameCollation::sort(std::vector<DesktopEntry>& entries) const {
    std::stable_sort(entries.begin(), entries.end(), [this](const DesktopEntry& left, const DesktopEntry& right) {
        return less(left.name, right.name);
    });
}

} // namespace orvik::helper
