#include "server/PairingNames.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

std::string repeated(const std::string& unit, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += unit;
    return text;
}

TEST(PairingNames, CleansNamesAsTheyAreShownAndStored) {
    const std::string thumbsUp = "\U0001F44D\U0001F3FD"; // one cluster of two scalars
    const std::string flag = "\U0001F1E9\U0001F1EA";     // a pair of regional indicators
    const std::vector<std::pair<std::string, std::string>> cases{
        {"  Anna's iPhone\n", "Anna's iPhone"},
        {"\u3000Pixel\u2028", "Pixel"}, // ideographic space, line separator
        {"Two  Words", "Two  Words"},
        {"Ph\x01one\x7F", "Phone"},
        {"a\u200Bb\u202Ec\uFEFFd\u00ADe", "abcde"}, // zero width, bidi override, BOM, soft hyphen
        {"\tTabbed\r\n", "Tabbed"},
        {"\u0085Next line", "Next line"},
        {"\U0001F468\u200D\U0001F469", "\U0001F468\U0001F469"}, // the joiner is a format character
        {"A\uFDD0B\uFFFEC\U0010FFFFD\U000E0080E", "ABCDE"},     // non-characters and unassigned
        {"Private\uE000", "Private\uE000"},
        {"", "iPhone"},
        {"   \x01\x02\n\t \u200B ", "iPhone"},
        {repeated("x", 100), repeated("x", 64)},
        {repeated(thumbsUp, 70), repeated(thumbsUp, 64)},
        {repeated("e\u0301", 65), repeated("e\u0301", 64)},
        {repeated(flag, 66), repeated(flag, 64)},
        {repeated("a", 63) + " tail", repeated("a", 63) + " "}, // the cut is not trimmed again
        {"ok\xFF", "ok\uFFFD"},
    };
    for (const auto& [name, cleaned] : cases) EXPECT_EQ(PairingNames::sanitized(name), cleaned) << name;
}

} // namespace
} // namespace orvik::helper
