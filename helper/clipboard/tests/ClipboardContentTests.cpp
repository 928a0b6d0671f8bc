#include "clipboard/ClipboardContent.hpp"

#include "clipboard/PasteboardAccess.hpp"

#include <gtest/gtest.h>

namespace orvik::helper {
namespace {

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::vector<std::pair<std::string, std::string>> namesAndTypes(const ClipboardContent& content) {
    std::vector<std::pair<std::string, std::string>> result;
    for (const auto& target : content.targets) result.emplace_back(target.name, target.type);
    return result;
}

TEST(ClipboardContentForText, OffersTheTextUnderItsAliasesWithTheMarkersAndTheHint) {
    auto content = ClipboardContent::forText("Grüße € 😀");

    std::vector<std::pair<std::string, std::string>> expected{
        {"text/plain;charset=utf-8", "text/plain;charset=utf-8"},
        {"UTF8_STRING", "UTF8_STRING"},
        {"STRING", "STRING"},
        {"TEXT", "UTF8_STRING"},
        {"org.nspasteboard.TransientType", "org.nspasteboard.TransientType"},
        {"org.nspasteboard.ConcealedType", "org.nspasteboard.ConcealedType"},
        {"x-kde-passwordManagerHint", "x-kde-passwordManagerHint"},
    };
    EXPECT_EQ(namesAndTypes(content), expected);
    EXPECT_EQ(*content.find("UTF8_STRING")->data, bytesOf("Grüße € 😀"));
    EXPECT_EQ(*content.find("STRING")->data, bytesOf("Gr\xFC\xDF"
                                                     "e ? ?"));
    EXPECT_TRUE(content.find(PasteboardAccess::transientType)->data->empty());
    EXPECT_TRUE(content.find(PasteboardAccess::concealedType)->data->empty());
    EXPECT_EQ(*content.find("x-kde-passwordManagerHint")->data, bytesOf("secret"));
    EXPECT_EQ(content.text(), "Grüße € 😀");
}

TEST(ClipboardContentSnapshot, KeepsWhatIsWrittenUnderItsOwnNameAndRoundTrips) {
    auto snapshot = ClipboardContent::forText("hello").snapshot();
    ASSERT_EQ(snapshot.items.size(), 1u);
    EXPECT_FALSE(snapshot.items[0].contains("TEXT")); // answered as UTF8_STRING, not as itself
    EXPECT_EQ(snapshot.items[0].size(), 6u);
    EXPECT_EQ(snapshot.text(), "hello");
    EXPECT_EQ(ClipboardContent::fromSnapshot(snapshot).snapshot(), snapshot);
    EXPECT_TRUE(ClipboardContent{}.snapshot().items.empty());
    EXPECT_TRUE(ClipboardContent::fromSnapshot(PasteboardSnapshot{}).targets.empty());
}

TEST(ClipboardContentFromSnapshot, FoldsItemsIntoOneTargetListTheFirstItemWinningWithoutSelectionTargets) {
    PasteboardSnapshot snapshot;
    snapshot.items.push_back({{"image/png", bytesOf("png-1")}, {"UTF8_STRING", bytesOf("first")}});
    snapshot.items.push_back({{"UTF8_STRING", bytesOf("second")}, {"text/html", bytesOf("<b>2</b>")}});
    for (auto describing : {"TARGETS", "MULTIPLE", "TIMESTAMP", "TEXT", ""}) snapshot.items[1][describing] = {'x'};

    auto content = ClipboardContent::fromSnapshot(snapshot);

    ASSERT_EQ(content.targets.size(), 3u);
    EXPECT_EQ(*content.find("UTF8_STRING")->data, bytesOf("first"));
    EXPECT_EQ(*content.find("image/png")->data, bytesOf("png-1"));
    EXPECT_EQ(*content.find("text/html")->data, bytesOf("<b>2</b>"));
    for (const auto& target : content.targets) EXPECT_EQ(target.type, target.name);
}

TEST(ClipboardContentText, PrefersUtf8AndFallsBackToLatin1) {
    auto textOf = [](const char* target, std::string_view data) {
        ClipboardContent content;
        content.targets.push_back({target, target, std::make_shared<const Bytes>(bytesOf(data))});
        return content.text();
    };
    EXPECT_EQ(textOf("STRING", "caf\xE9"), "café");
    EXPECT_EQ(textOf("UTF8_STRING", "a\xFF"
                                    "b"),
              "a\uFFFDb");
    EXPECT_EQ(textOf("image/png", "png"), std::nullopt);
}

TEST(ClipboardTextConversions, Latin1AndWellFormedUtf8) {
    EXPECT_EQ(latin1FromUtf8(""), Bytes{});
    EXPECT_EQ(latin1FromUtf8("aÿĀ😀"), bytesOf("a\xFF??"));
    EXPECT_EQ(utf8FromLatin1(bytesOf("\x7F\x80\xFF")), "\x7F\u0080ÿ");
    EXPECT_EQ(wellFormedUtf8(bytesOf("ok \xC3")), "ok \uFFFD");
    EXPECT_EQ(wellFormedUtf8(bytesOf("\xED\xA0\x80")), "\uFFFD\uFFFD\uFFFD"); // an encoded surrogate
}

} // namespace
} // namespace orvik::helper
