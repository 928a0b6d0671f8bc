#include "model/DisplayTexts.hpp"

#include "core/UnicodeText.hpp"

#include <unicode/calendar.h>
#include <unicode/datefmt.h>
#include <unicode/listformatter.h>
#include <unicode/reldatefmt.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <utility>

namespace orvik::helper::DisplayTexts {
namespace {

constexpr std::string_view fallbackLocale = "en_US";
constexpr std::string_view lastSeenPrefix = "Last seen ";
constexpr std::string_view neverConnected = "Never connected";

// The locale of the user's messages after POSIX precedence; C and POSIX carry no language, so they read as en_US.
std::string processLocaleName() {
    std::string value;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* set = std::getenv(variable);
        if (set != nullptr && *set != '\0') {
            value = set;
            break;
        }
    }
    // "de_DE.UTF-8@euro": ICU needs neither the codeset nor the modifier.
    value = value.substr(0, value.find_first_of(".@"));
    if (value.empty() || value == "C" || value == "POSIX") return std::string(fallbackLocale);
    return value;
}

// Formatters are costly to build, so each thread keeps those of the locale it last used.
class Formatters {
public:
    static Formatters& current() {
        thread_local Formatters formatters;
        auto name = processLocaleName();
        if (name != formatters.localeName_) formatters = Formatters(std::move(name));
        return formatters;
    }

    const icu::Locale& locale() const { return locale_; }

    icu::ListFormatter* list() {
        if (!list_) {
            UErrorCode status = U_ZERO_ERROR;
            list_.reset(icu::ListFormatter::createInstance(locale_, ULISTFMT_TYPE_AND, ULISTFMT_WIDTH_WIDE, status));
            if (U_FAILURE(status)) list_.reset();
        }
        return list_.get();
    }

    icu::RelativeDateTimeFormatter* relative() {
        if (!relative_) {
            UErrorCode status = U_ZERO_ERROR;
            auto formatter = std::make_unique<icu::RelativeDateTimeFormatter>(locale_, nullptr, UDAT_STYLE_LONG,
                                                                              UDISPCTX_CAPITALIZATION_NONE, status);
            if (U_SUCCESS(status)) relative_ = std::move(formatter);
        }
        return relative_.get();
    }

    icu::DateFormat* time() {
        if (!time_) time_.reset(icu::DateFormat::createTimeInstance(icu::DateFormat::kShort, locale_));
        return time_.get();
    }

private:
    Formatters() = default;
    explicit Formatters(std::string localeName)
        : localeName_(std::move(localeName)), locale_(icu::Locale::createCanonical(localeName_.c_str())) {}

    std::string localeName_;
    icu::Locale locale_;
    std::unique_ptr<icu::ListFormatter> list_;
    std::unique_ptr<icu::RelativeDateTimeFormatter> relative_;
    std::unique_ptr<icu::DateFormat> time_;
};

UDate udate(Date date) {
    return static_cast<UDate>(std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count());
}

struct RelativeOffset {
    double amount = 0;
    URelativeDateTimeUnit unit = UDAT_REL_UNIT_SECOND;
};

// The largest calendar unit in which the two dates differ, counted in the user's time zone: 25 hours back is
// "yesterday", 23 hours back "23 hours ago", a difference under a second "now".
RelativeOffset largestDifference(Date date, Date now, const icu::Locale& locale) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(locale, status));
    if (U_FAILURE(status)) return {};
    calendar->setTime(udate(now), status);
    const UDate target = udate(date);
    const std::array<std::pair<UCalendarDateFields, URelativeDateTimeUnit>, 6> fields{{
        {UCAL_YEAR, UDAT_REL_UNIT_YEAR},
        {UCAL_MONTH, UDAT_REL_UNIT_MONTH},
        {UCAL_DATE, UDAT_REL_UNIT_DAY},
        {UCAL_HOUR_OF_DAY, UDAT_REL_UNIT_HOUR},
        {UCAL_MINUTE, UDAT_REL_UNIT_MINUTE},
        {UCAL_SECOND, UDAT_REL_UNIT_SECOND},
    }};
    constexpr int daysPerWeek = 7;
    for (const auto& [field, unit] : fields) {
        const std::int32_t difference = calendar->fieldDifference(target, field, status);
        if (U_FAILURE(status)) return {};
        if (difference == 0) continue;
        // Weeks are counted out of the days, as a whole number of them.
        if (unit == UDAT_REL_UNIT_DAY && (difference >= daysPerWeek || difference <= -daysPerWeek)) {
            const std::int32_t wholeWeeks = difference / daysPerWeek;
            return {static_cast<double>(wholeWeeks), UDAT_REL_UNIT_WEEK};
        }
        return {static_cast<double>(difference), unit};
    }
    return {};
}

} // namespace

std::string conjunctionList(const std::vector<std::string>& items) {
    std::vector<icu::UnicodeString> texts;
    texts.reserve(items.size());
    for (const auto& item : items) texts.push_back(UnicodeText::fromUtf8(item));
    if (auto* formatter = Formatters::current().list()) {
        icu::UnicodeString joined;
        UErrorCode status = U_ZERO_ERROR;
        formatter->format(texts.data(), static_cast<std::int32_t>(texts.size()), joined, status);
        if (U_SUCCESS(status)) return UnicodeText::toUtf8(joined);
    }
    std::string joined;
    for (const auto& item : items) joined += (joined.empty() ? "" : ", ") + item;
    return joined;
}

std::string lastSeenText(const std::optional<Date>& lastSeen, Date now) {
    if (!lastSeen) return std::string(neverConnected);
    auto& formatters = Formatters::current();
    auto* formatter = formatters.relative();
    if (formatter == nullptr) return std::string(lastSeenPrefix) + shortTime(*lastSeen);
    const auto offset = largestDifference(*lastSeen, now, formatters.locale());
    icu::UnicodeString relative;
    UErrorCode status = U_ZERO_ERROR;
    formatter->format(offset.amount, offset.unit, relative, status);
    if (U_FAILURE(status)) return std::string(lastSeenPrefix) + shortTime(*lastSeen);
    return std::string(lastSeenPrefix) + UnicodeText::toUtf8(relative);
}

std::string shortTime(Date time) {
    auto* formatter = Formatters::current().time();
    if (formatter == nullptr) return {};
    icu::UnicodeString text;
    formatter->format(udate(time), text);
    return UnicodeText::toUtf8(text);
}

} // namespace orvik::helper::DisplayTexts
