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
    auto content = ClipboardContent::forText("hello");
    auto snapshot = content.snapshot();

    ASSERT_EQ(snapshot.items.size(), 1u);
    EXPECT_FALSE(snapshot.items[0].contains("TEXT")); // answered as UTF8_STRING, not as itself
    EXPECT_EQ(snapshot.items[0].size(), 6u);
    EXPECT_EQ(snapshot.text(), "hello");
    EXPECT_EQ(ClipboardContent::fromSnapshot(snapshot).snapshot(), snapshot);
}

TEST(ClipboardContentSnapshot, AnEmptyContentGivesNoItem) {
    EXPECT_TRUE(ClipboardContent{}.snapshot().items.empty());
    EXPECT_TRUE(ClipboardContent::fromSnapshot(PasteboardSnapshot{}).targets.empty());
}

TEST(ClipboardContentFromSnapshot, FoldsItemsIntoOneTargetListTheFirstItemWinning) {
    PasteboardSnapshot snapshot;
    snapshot.items.push_back({{"image/png", bytesOf("png-1")}, {"UTF8_STRING", bytesOf("first")}});
    snapshot.items.push_back({{"UTF8_STRING", bytesOf("second")}, {"text/html", bytesOf("<b>2</b>")}});

    auto content = ClipboardContent::fromSnapshot(snapshot);

    ASSERT_EQ(content.targets.size(), 3u);
    EXPECT_EQ(*content.find("UTF8_STRING")->data, bytesOf("first"));
    EXPECT_EQ(*content.find("image/png")->data, bytesOf("png-1"));
    EXPECT_EQ(*content.find("text/html")->data, bytesOf("<b>2</b>"));
    for (const auto& target : content.targets) EXPECT_EQ(target.type, target.name);
}

TEST(ClipboardContentFromSnapshot, LeavesOutTargetsThatDescribeTheSelection) {
    PasteboardSnapshot snapshot;
    snapshot.items.push_back({{"TARGETS", bytesOf("x")},
                              {"MULTIPLE", bytesOf("x")},
                              {"TIMESTAMP", bytesOf("x")},
                              {"TEXT", bytesOf("x")},
                              {"", bytesOf("x")},
                              {"UTF8_STRING", bytesOf("kept")}});

    auto content = ClipboardContent::fromSnapshot(snapshot);

    ASSERT_EQ(content.targets.size(), 1u);
    EXPECT_EQ(content.targets[0].name, "UTF8_STRING");
}

TEST(ClipboardContentText, PrefersUtf8AndFallsBackToLatin1) {
    ClipboardContent latin1;
    latin1.targets.push_back({"STRING", "STRING", std::make_shared<const Bytes>(bytesOf("caf\xE9"))});
    EXPECT_EQ(latin1.text(), "café");

    ClipboardContent broken;
    broken.targets.push_back({"UTF8_STRING", "UTF8_STRING",
                              std::make_shared<const Bytes>(bytesOf("a\xFF"
                                                                    "b"))});
    EXPECT_EQ(broken.text(), "a\uFFFDb");

    ClipboardContent image;
    image.targets.push_back({"image/png", "image/png", std::make_shared<const Bytes>(bytesOf("png"))});
    EXPECT_EQ(image.text(), std::nullopt);
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
