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

// Pasted: a paste request, more than 200 characters (clusters: e + combining acute and CR LF count one), and any
// emoji (presentation, modifier, variation selector 16, or a symbol from U+2100 with the emoji property).
TEST(ShouldPaste, PastesRequestsLongTextsAndEmojiAndTypesTheRest) {
    const std::pair<std::string, bool> typedText[] = {
        {repeated("a", 200), false},
        {repeated("a", 201), true},
        {repeated("e\u0301", 200), false},
        {repeated("e\u0301", 201), true},
        {repeated("\r\n", 200), false},
        {repeated("\r\n", 201), true},
        {"a\uFE0F", true},
        {"ok \U0001F600", true},
        {"\U0001F3FB", true},
        {"\u2122", true},
        {"\u263A", true},
        {"\U0001F1EB\U0001F1F7", true},
        {"", false},
        {"a\xC3(b\xFF", false},
    };
    for (const auto& [text, pasted] : typedText)
        EXPECT_EQ(TextTyping::shouldPaste(text, TextMode::type), pasted) << text;
    EXPECT_TRUE(TextTyping::shouldPaste("hi", TextMode::paste));
    for (const char* typed : {"#", "1", "*", "\u00A9", "\u00AE", "caf\u00e9", "\u00bd", "\u20AC", "\u2190",
                              "\u00e9\u0301", "\u4E2D\u6587"}) {
        EXPECT_FALSE(TextTyping::containsEmoji(typed)) << typed;
    }
}

// Line breaks and tabs become key presses; chunks hold at most 20 units and never cut a character (flags, ZWJ
// sequences, combining marks), except that a longer character is a segment of its own.
TEST(Segments, CutTextIntoKeysAndChunksOfWholeCharacters) {
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"; // 11 units
    const std::string flag = "\U0001F1EB\U0001F1F7";                                         // 4 units
    const std::string longCharacter = "e" + repeated("\u0301", 24);
    const std::u16string a15(15, u'a');
    const std::pair<std::string, Segments> cases[] = {
        {"ab\r\nxy\n\tz", {text(u"ab"), returnKey, text(u"xy"), returnKey, tab, text(u"z")}},
        {"\n\n\r", {returnKey, returnKey, returnKey}},
        {"\r\r\n", {returnKey, returnKey}},
        {"", {}},
        {repeated("a", 20), {text(std::u16string(20, u'a'))}},
        {repeated("a", 21), {text(std::u16string(20, u'a')), text(u"a")}},
        {repeated("a", 19) + "\U0001F600", {text(std::u16string(19, u'a')), text(u"\U0001F600")}},
        {repeated("a", 18) + "\U0001D11Ez", {text(std::u16string(18, u'a') + u"\U0001D11E"), text(u"z")}},
        {repeated("a", 15) + family, {text(a15), text(utf16(family))}},
        {repeated("a", 17) + flag + flag, {text(std::u16string(17, u'a')), text(utf16(flag + flag))}},
        {repeated("e\u0301", 11), {text(utf16(repeated("e\u0301", 10))), text(u"e\u0301")}},
        {"ab" + longCharacter + "cd", {text(u"ab"), text(utf16(longCharacter)), text(u"cd")}},
        {"a\xC3(b\xFF", {text(u"a\uFFFD(b\uFFFD")}},
    };
    for (const auto& [input, segments] : cases) EXPECT_EQ(TextTyping::segments(input), segments) << input;
    expectCleanCuts("x" + family + "\u200D" + family + "y"); // two families joined are one character
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

} // namespace
} // namespace orvik::helper
