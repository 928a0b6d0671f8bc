#include "model/DisplayTexts.hpp"

#include <gtest/gtest.h>
#include <unicode/timezone.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// Tuesday 2026-03-10 12:00:00 UTC.
const Date now = Date{} + 1'773'144'000s;
constexpr auto day = 24h;

std::function<std::string()> list(Strings items) {
    return [items] { return DisplayTexts::conjunctionList(items); };
}
std::function<std::string()> lastSeen(std::optional<std::chrono::seconds> fromNow) {
    return
        [fromNow] { return DisplayTexts::lastSeenText(fromNow ? std::optional(now + *fromNow) : std::nullopt, now); };
}
std::function<std::string()> timeOfDay(std::chrono::minutes fromNow) {
    return [fromNow] { return DisplayTexts::shortTime(now + fromNow); };
}

struct TextCase {
    std::string locale; // LC_ALL
    std::function<std::string()> text;
    std::string expected;
};

// Each case runs in its own locale environment; days are counted in UTC.
class DisplayText : public ::testing::TestWithParam<TextCase> {
protected:
    static void SetUpTestSuite() { icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("UTC")); }
    void TearDown() override {
        for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) ::unsetenv(variable);
    }
};

TEST_P(DisplayText, IsWordedForTheUsersLocale) {
    ::setenv("LC_ALL", GetParam().locale.c_str(), 1);
    EXPECT_EQ(GetParam().text(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Locales, DisplayText,
                         ::testing::Values(TextCase{"en_US.UTF-8", list({}), ""},

                                           TextCase{"en_US.UTF-8", list({"A", "B"}), "A and B"},
                                           TextCase{"C", list({"A", "B", "C"}), "A, B, and C"},
                                           TextCase{"C.UTF-8", list({"A", "B"}), "A and B"},
                                           TextCase{"de_DE.UTF-8@euro", list({"Änne", "B", "C"}), "Änne, B und C"},
                                           TextCase{"en_US.UTF-8", lastSeen(std::nullopt), "Never connected"},
                                           TextCase{"en_US.UTF-8", lastSeen(0s), "Last seen now"},
                                           // Past midnight but less than a day: still hours.
                                           TextCase{"en_US.UTF-8", lastSeen(-23h), "Last seen 23 hours ago"},
                                           TextCase{"en_US.UTF-8", lastSeen(-25h), "Last seen yesterday"},

                                           TextCase{"C", lastSeen(-9 * day), "Last seen last week"},

                                           TextCase{"en_US.UTF-8", lastSeen(-40 * day), "Last seen last month"},
                                           TextCase{"en_US.UTF-8", lastSeen(2min), "Last seen in 2 minutes"},

                                           TextCase{"de_DE.UTF-8", lastSeen(-25h), "Last seen gestern"},

                                           TextCase{"en_US.UTF-8", timeOfDay(10h + 30min), "10:30\u202FPM"},
                                           TextCase{"de_DE.UTF-8", timeOfDay(10h + 30min), "22:30"}));

TEST_F(DisplayText, TheMessagesLocaleComesBeforeLang) {
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
    EXPECT_EQ(DisplayTexts::conjunctionList({"A", "B"}), "A und B");
}

} // namespace
} // namespace orvik::helper
