#include "pro/CLIShortcuts.hpp"
#include "pro/ShortcutsParser.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

using Lines = std::vector<std::string>;

class LinesFixture : public ::testing::TestWithParam<std::pair<std::string, Lines>> {};

TEST_P(LinesFixture, SplitsAtEveryNewlineTrimsBlanksAndDropsEmptyLines) {
    EXPECT_EQ(ShortcutsParser::lines(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, LinesFixture,
    ::testing::Values(std::pair{std::string("Alpha\n  Beta  \r\n\n\tGamma"), Lines{"Alpha", "Beta", "Gamma"}},
                      std::pair{std::string(" \n\r\n\t \n"), Lines{}}, std::pair{std::string(), Lines{}},
                      std::pair{std::string("A\rB\x0B"
                                            "C\xC2\x85"
                                            "D\xE2\x80\xA8"
                                            "E"),
                                Lines{"A", "B", "C", "D", "E"}},
                      std::pair{std::string("\xE3\x80\x80Wide\xC2\xA0\nA\nA"), Lines{"Wide", "A", "A"}},
                      std::pair{std::string("Bad\xFF"), Lines{"Bad\xEF\xBF\xBD"}}));

TEST(ShortcutsParser, JoinsEachNameOnceWithTheFirstFolderInByteOrder) {
    const auto joined = ShortcutsParser::combine({"A", "B", "A", "d"},
                                                 {{"Work", {"A", "Only"}}, {"Home", {"A", "B"}}, {"home", {"d"}}});
    EXPECT_EQ(joined, (std::vector<ShortcutInfo>{{"A", "Home"}, {"B", "Home"}, {"d", "home"}}));
    EXPECT_EQ(ShortcutsParser::combine({"C"}, {}), (std::vector<ShortcutInfo>{{"C", std::nullopt}}));
}

TEST(ShortcutsParser, TheFallbackLinkCarriesTheNamePercentEncoded) {
    EXPECT_EQ(CLIShortcuts::fallbackURLFor("My Mail&=/é-_.~"),
              "shortcuts://run-shortcut?name=My%20Mail%26%3D%2F%C3%A9-_.~");
}

} // namespace
} // namespace orvik::helper
