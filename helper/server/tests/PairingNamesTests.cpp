#include "server/PairingNames.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

std::string repeated(const std::string& unit, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += unit;
    return text;
}

TEST(PairingNames, TrimsWhiteSpaceAndLineBreaksAtBothEnds) {
    EXPECT_EQ(PairingNames::sanitized("  Anna's iPhone\n"), "Anna's iPhone");
    EXPECT_EQ(PairingNames::sanitized("\u3000Pixel\u2028"), "Pixel") << "ideographic space, line separator";
    EXPECT_EQ(PairingNames::sanitized("Two  Words"), "Two  Words") << "inner spaces stay";
}

TEST(PairingNames, DropsControlAndFormatCharactersEverywhere) {
    EXPECT_EQ(PairingNames::sanitized("Ph\x01one\x7F"), "Phone");
    EXPECT_EQ(PairingNames::sanitized("a\u200Bb\u202Ec\uFEFFd\u00ADe"), "abcde")
        << "zero width, bidi override, BOM, soft hyphen";
    EXPECT_EQ(PairingNames::sanitized("\tTabbed\r\n"), "Tabbed");
    EXPECT_EQ(PairingNames::sanitized("\u0085Next line"), "Next line");
}

TEST(PairingNames, AJoinerSequenceFallsApartBecauseTheJoinerIsAFormatCharacter) {
    EXPECT_EQ(PairingNames::sanitized("\U0001F468\u200D\U0001F469"), "\U0001F468\U0001F469");
}

TEST(PairingNames, DropsNonCharactersAndUnassignedCodePoints) {
    EXPECT_EQ(PairingNames::sanitized("A\uFDD0B\uFFFEC"), "ABC");
    EXPECT_EQ(PairingNames::sanitized("A\U0010FFFFB"), "AB");
    EXPECT_EQ(PairingNames::sanitized("A\U000E0080B"), "AB") << "unassigned";
    EXPECT_EQ(PairingNames::sanitized("Private\uE000"), "Private\uE000") << "private use is kept";
}

TEST(PairingNames, AnEmptyResultBecomesIPhone) {
    EXPECT_EQ(PairingNames::sanitized(""), "iPhone");
    EXPECT_EQ(PairingNames::sanitized("   \x01\x02\n\t \u200B "), "iPhone");
}

TEST(PairingNames, KeepsTheFirstSixtyFourGraphemeClusters) {
    EXPECT_EQ(PairingNames::sanitized(repeated("x", 100)), repeated("x", 64));
    EXPECT_EQ(PairingNames::sanitized(repeated("x", 64)), repeated("x", 64));
    // A thumbs-up with a skin tone is one cluster of two scalars.
    const std::string thumbsUp = "\U0001F44D\U0001F3FD";
    EXPECT_EQ(PairingNames::sanitized(repeated(thumbsUp, 70)), repeated(thumbsUp, 64));
    EXPECT_EQ(PairingNames::sanitized(repeated("e\u0301", 65)), repeated("e\u0301", 64));
    EXPECT_EQ(PairingNames::sanitized(repeated("\U0001F1E9\U0001F1EA", 66)), repeated("\U0001F1E9\U0001F1EA", 64))
        << "flags are pairs of regional indicators";
}

TEST(PairingNames, TheCutIsNotTrimmedAgain) {
    auto name = repeated("a", 63) + " tail";
    EXPECT_EQ(PairingNames::sanitized(name), repeated("a", 63) + " ");
}

TEST(PairingNames, IllFormedUtf8ReadsAsReplacementCharacters) {
    EXPECT_EQ(PairingNames::sanitized("ok\xFF"), "ok\uFFFD");
}

} // namespace
} // namespace orvik::helper
