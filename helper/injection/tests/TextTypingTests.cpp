#include "injection/TextTyping.hpp"

#include <gtest/gtest.h>
#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <memory>
#include <set>

namespace orvik::helper {
namespace {

using Segment = TextTyping::Segment;
using Segments = std::vector<Segment>;

Segment text(std::u16string units) {
    return Segment::text(std::move(units));
}
const Segment returnKey = Segment::key(MacKey::returnKey);
const Segment tab = Segment::key(MacKey::tab);

std::string repeated(std::string_view piece, int count) {
    std::string result;
    for (int i = 0; i < count; ++i) result += piece;
    return result;
}

std::u16string utf16(std::string_view text) {
    std::u16string result;
    auto units = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    result.assign(units.getBuffer(), static_cast<std::size_t>(units.length()));
    return result;
}

// Where ICU puts character boundaries in a text without line breaks or tabs.
std::set<std::size_t> characterBoundaries(const std::u16string& units) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    EXPECT_TRUE(U_SUCCESS(status));
    icu::UnicodeString text(units.data(), static_cast<std::int32_t>(units.size()));
    it->setText(text);
    std::set<std::size_t> result;
    for (auto at = it->first(); at != icu::BreakIterator::DONE; at = it->next()) {
        result.insert(static_cast<std::size_t>(at));
    }
    return result;
}

// Every text segment ends on a character boundary, holds at most 20 units unless it is one character, and the
// segments put together give the text back.
void expectCleanCuts(std::string_view input) {
    auto units = utf16(input);
    auto boundaries = characterBoundaries(units);
    std::u16string rebuilt;
    for (const auto& segment : TextTyping::segments(input)) {
        const auto* piece = std::get_if<Segment::Text>(&segment.value);
        ASSERT_NE(piece, nullptr);
        ASSERT_FALSE(piece->units.empty());
        std::size_t start = rebuilt.size();
        rebuilt += piece->units;
        EXPECT_TRUE(boundaries.contains(rebuilt.size())) << "cut inside a character at unit " << rebuilt.size();
        if (piece->units.size() > TextTyping::maxChunkUTF16) {
            // An over-long segment is a single character.
            auto next = boundaries.upper_bound(start);
            EXPECT_EQ(*next, rebuilt.size());
        }
    }
    EXPECT_EQ(rebuilt, units);
}

TEST(ShouldPaste, PasteRequestsAreAlwaysPasted) {
    EXPECT_TRUE(TextTyping::shouldPaste("hi", TextMode::paste));
    EXPECT_FALSE(TextTyping::shouldPaste("hi", TextMode::type));
    EXPECT_FALSE(TextTyping::shouldPaste("", TextMode::type));
}

TEST(ShouldPaste, MoreThanTwoHundredCharactersArePasted) {
    EXPECT_FALSE(TextTyping::shouldPaste(repeated("a", 200), TextMode::type));
    EXPECT_TRUE(TextTyping::shouldPaste(repeated("a", 201), TextMode::type));
    // Characters, not code points or units: e + combining acute, and CR LF, are one character each.
    EXPECT_FALSE(TextTyping::shouldPaste(repeated("e\u0301", 200), TextMode::type));
    EXPECT_TRUE(TextTyping::shouldPaste(repeated("e\u0301", 201), TextMode::type));
    EXPECT_FALSE(TextTyping::shouldPaste(repeated("\r\n", 200), TextMode::type));
    EXPECT_TRUE(TextTyping::shouldPaste(repeated("\r\n", 201), TextMode::type));
}

TEST(ShouldPaste, EmojiArePasted) {
    EXPECT_TRUE(TextTyping::shouldPaste("a\uFE0F", TextMode::type));              // variation selector 16
    EXPECT_TRUE(TextTyping::shouldPaste("ok \U0001F600", TextMode::type));        // Emoji_Presentation
    EXPECT_TRUE(TextTyping::shouldPaste("\U0001F3FB", TextMode::type));           // Emoji_Modifier alone
    EXPECT_TRUE(TextTyping::shouldPaste("\u2122", TextMode::type));               // trade mark sign
    EXPECT_TRUE(TextTyping::shouldPaste("\u263A", TextMode::type));               // white smiling face
    EXPECT_TRUE(TextTyping::shouldPaste("\U0001F1EB\U0001F1F7", TextMode::type)); // flag
}

TEST(ShouldPaste, TextSignsWithTheEmojiPropertyAreTyped) {
    for (const char* typed : {"#", "1", "*", "\u00A9", "\u00AE", "caf\u00e9", "\u00bd", "\u20AC", "\u2190",
                              "\u00e9\u0301", "\u4E2D\u6587"}) {
        EXPECT_FALSE(TextTyping::shouldPaste(typed, TextMode::type)) << typed;
        EXPECT_FALSE(TextTyping::containsEmoji(typed)) << typed;
    }
}

TEST(Segments, LineBreaksAndTabsBecomeKeyPresses) {
    EXPECT_EQ(TextTyping::segments("ab\r\nxy\n\tz"),
              (Segments{text(u"ab"), returnKey, text(u"xy"), returnKey, tab, text(u"z")}));
    EXPECT_EQ(TextTyping::segments("\n\n\r"), (Segments{returnKey, returnKey, returnKey}));
    EXPECT_EQ(TextTyping::segments("\r\r\n"), (Segments{returnKey, returnKey}));
    EXPECT_EQ(TextTyping::segments(""), Segments{});
}

TEST(Segments, ChunksHoldAtMostTwentyUnits) {
    EXPECT_EQ(TextTyping::segments(repeated("a", 20)), (Segments{text(std::u16string(20, u'a'))}));
    EXPECT_EQ(TextTyping::segments(repeated("a", 21)), (Segments{text(std::u16string(20, u'a')), text(u"a")}));
    EXPECT_EQ(TextTyping::segments(repeated("a", 200)).size(), 10u);
}

TEST(Segments, ACharacterThatWouldOverflowStartsTheNextChunk) {
    std::u16string nineteen(19, u'a');
    EXPECT_EQ(TextTyping::segments(repeated("a", 19) + "\U0001F600"), (Segments{text(nineteen), text(u"\U0001F600")}));
    // A surrogate pair that just fits closes the chunk.
    EXPECT_EQ(TextTyping::segments(repeated("a", 18) + "\U0001D11Ez"),
              (Segments{text(std::u16string(18, u'a') + u"\U0001D11E"), text(u"z")}));
}

TEST(Segments, FlagsZwjSequencesAndCombiningMarksStayWhole) {
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"; // 11 units
    EXPECT_EQ(TextTyping::segments(repeated("a", 15) + family),
              (Segments{text(std::u16string(15, u'a')), text(utf16(family))}));
    const std::string flag = "\U0001F1EB\U0001F1F7"; // 4 units
    EXPECT_EQ(TextTyping::segments(repeated("a", 17) + flag + flag),
              (Segments{text(std::u16string(17, u'a')), text(utf16(flag + flag))}));
    EXPECT_EQ(TextTyping::segments(repeated("e\u0301", 11)),
              (Segments{text(utf16(repeated("e\u0301", 10))), text(u"e\u0301")}));
}

TEST(Segments, ACharacterLongerThanTwentyUnitsIsASegmentOfItsOwn) {
    const std::string longCharacter = "e" + repeated("\u0301", 24);
    EXPECT_EQ(TextTyping::segments("ab" + longCharacter + "cd"),
              (Segments{text(u"ab"), text(utf16(longCharacter)), text(u"cd")}));
    const std::string twoFamilies = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466\u200D"
                                    "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"; // one cluster
    expectCleanCuts("x" + twoFamilies + "y");
}

TEST(Segments, NeverCutInsideACharacterOfMixedText) {
    const std::string pieces[] = {"a",
                                  "\u00e9",
                                  "e\u0301",
                                  "\U0001F600",
                                  "\U0001F44D\U0001F3FD",
                                  "\U0001F1EB\U0001F1F7",
                                  "\U0001D11E",
                                  "\u0915\u094D\u0937",
                                  "\u1100\u1161\u11A8",
                                  "\U0001F3F3\uFE0F\u200D\U0001F308",
                                  "\u4E2D",
                                  " "};
    // Every piece at every offset of a 20-unit chunk.
    for (std::size_t offset = 0; offset < 21; ++offset) {
        for (const auto& piece : pieces) {
            std::string input = repeated("a", static_cast<int>(offset));
            for (int i = 0; i < 6; ++i) input += piece;
            SCOPED_TRACE(offset);
            expectCleanCuts(input);
        }
    }
}

TEST(Segments, IllFormedUtf8IsTypedAsReplacementCharacters) {
    EXPECT_EQ(TextTyping::segments("a\xC3(b\xFF"), (Segments{text(u"a\uFFFD(b\uFFFD")}));
    EXPECT_FALSE(TextTyping::shouldPaste("a\xC3(b\xFF", TextMode::type));
}

} // namespace
} // namespace orvik::helper
