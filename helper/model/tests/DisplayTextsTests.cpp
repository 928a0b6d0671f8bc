#include "model/DisplayTexts.hpp"

#include <gtest/gtest.h>
#include <unicode/timezone.h>

#include <cstdlib>
#include <string>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

// Tuesday 2026-03-10 12:00:00 UTC.
const Date now = Date{} + 1'773'144'000s;

// Each case runs in its own locale environment; days are counted in UTC.
class LocaleEnvironment : public ::testing::Test {
protected:
    static void SetUpTestSuite() { icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("UTC")); }
    void TearDown() override {
        for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) ::unsetenv(variable);
    }
    static void useLocale(const std::string& name) { ::setenv("LC_ALL", name.c_str(), 1); }
};

struct ListCase {
    std::string locale;
    std::vector<std::string> items;
    std::string expected;
};

class ConjunctionList : public LocaleEnvironment, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ConjunctionList, JoinsTheNamesInTheUsersLanguage) {
    useLocale(GetParam().locale);
    EXPECT_EQ(DisplayTexts::conjunctionList(GetParam().items), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, ConjunctionList,
    ::testing::Values(ListCase{"en_US.UTF-8", {}, ""}, ListCase{"en_US.UTF-8", {"Tom & Jerry"}, "Tom & Jerry"},
                      ListCase{"en_US.UTF-8", {"A", "B"}, "A and B"},
                      ListCase{"en_US.UTF-8", {"A", "B", "C"}, "A, B, and C"},
                      ListCase{"C", {"A", "B", "C"}, "A, B, and C"}, ListCase{"POSIX", {"A", "B"}, "A and B"},
                      ListCase{"C.UTF-8", {"A", "B"}, "A and B"}, ListCase{"de_DE.UTF-8@euro", {"A", "B"}, "A und B"},
                      ListCase{"de_DE.UTF-8", {"Änne", "B", "C"}, "Änne, B und C"}));

struct LastSeenCase {
    std::string locale;
    std::optional<std::chrono::seconds> offset; // from now; absent: never connected
    std::string expected;
};

class LastSeen : public LocaleEnvironment, public ::testing::WithParamInterface<LastSeenCase> {};

TEST_P(LastSeen, NamesTheDateRelativeToNow) {
    useLocale(GetParam().locale);
    std::optional<Date> lastSeen;
    if (GetParam().offset) lastSeen = now + *GetParam().offset;
    EXPECT_EQ(DisplayTexts::lastSeenText(lastSeen, now), GetParam().expected);
}

constexpr auto day = 24h;

INSTANTIATE_TEST_SUITE_P(Locales, LastSeen,
                         ::testing::Values(LastSeenCase{"en_US.UTF-8", std::nullopt, "Never connected"},
                                           LastSeenCase{"en_US.UTF-8", 0s, "Last seen now"},
                                           LastSeenCase{"en_US.UTF-8", -30s, "Last seen 30 seconds ago"},
                                           LastSeenCase{"en_US.UTF-8", -3h, "Last seen 3 hours ago"},
                                           // Past midnight but less than a day: still hours.
                                           LastSeenCase{"en_US.UTF-8", -23h, "Last seen 23 hours ago"},
                                           LastSeenCase{"en_US.UTF-8", -25h, "Last seen yesterday"},
                                           LastSeenCase{"C", -3 * day, "Last seen 3 days ago"},
                                           LastSeenCase{"en_US.UTF-8", -9 * day, "Last seen last week"},
                                           LastSeenCase{"en_US.UTF-8", -15 * day, "Last seen 2 weeks ago"},
                                           LastSeenCase{"en_US.UTF-8", -40 * day, "Last seen last month"},
                                           LastSeenCase{"en_US.UTF-8", -365 * day, "Last seen last year"},
                                           LastSeenCase{"en_US.UTF-8", 2min, "Last seen in 2 minutes"},
                                           LastSeenCase{"de_DE.UTF-8", -3h, "Last seen vor 3 Stunden"},
                                           LastSeenCase{"de_DE.UTF-8", -25h, "Last seen gestern"},
                                           LastSeenCase{"de_DE.UTF-8", -2 * day, "Last seen vorgestern"}));

TEST_F(LocaleEnvironment, ShortTimeShowsTheTimeOfDayOnly) {
    const Date evening = now + 10h + 30min;
    useLocale("en_US.UTF-8");
    EXPECT_EQ(DisplayTexts::shortTime(evening), "10:30\u202FPM");
    useLocale("de_DE.UTF-8");
    EXPECT_EQ(DisplayTexts::shortTime(evening), "22:30");
}

TEST_F(LocaleEnvironment, TheMessagesLocaleComesBeforeLang) {
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
    EXPECT_EQ(DisplayTexts::conjunctionList({"A", "B"}), "A und B");
}

} // namespace
} // namespace orvik::helper
