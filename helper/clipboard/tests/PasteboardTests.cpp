#include "clipboard/FakePasteboard.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace orvik::helper {
namespace {

Bytes bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}
const std::string plain(PasteboardSnapshot::plainTextType);

PasteboardSnapshot richSnapshot() {
    return PasteboardSnapshot{{
        {{plain, bytes("first")}, {"text/html", bytes("<b>first</b>")}},
        {{"image/png", Bytes{0x89, 'P', 'N', 'G', 0x00, 0xFF}}, {plain, Bytes{}}},
    }};
}

TEST(PasteboardSnapshot, TextIsThePlainTextOfTheFirstItemOnlyWithIllFormedBytesReplaced) {
    auto snapshot = PasteboardSnapshot::text("h\u00e9");
    ASSERT_EQ(snapshot.items.size(), 1u);
    EXPECT_EQ(snapshot.items[0], (PasteboardSnapshot::Item{{"text/plain;charset=utf-8", bytes("h\u00e9")}}));
    EXPECT_EQ(snapshot.text(), "h\u00e9");
    EXPECT_EQ(PasteboardSnapshot{}.text(), std::nullopt);
    PasteboardSnapshot laterText{{{{"image/png", bytes("png")}}, {{plain, bytes("later")}}}};
    EXPECT_EQ(laterText.text(), std::nullopt);
    EXPECT_EQ(richSnapshot().text(), "first");
    PasteboardSnapshot illFormed{{{{plain, Bytes{'a', 0xC3, '(', 0xFF, 'b'}}}}};
    EXPECT_EQ(illFormed.text(), "a\uFFFD(\uFFFDb");
}

TEST(FakePasteboard, WritesCountChangesAndAreRecordedAndAnEmptySnapshotRestoresEmpty) {
    FakePasteboard pasteboard(richSnapshot());
    EXPECT_EQ(pasteboard.snapshot(), richSnapshot());
    EXPECT_EQ(pasteboard.string(), "first");
    EXPECT_EQ(pasteboard.setString("one"), 1);
    EXPECT_EQ(pasteboard.setString("two"), 2);
    EXPECT_EQ(pasteboard.contents(), PasteboardSnapshot::text("two"));
    EXPECT_EQ(pasteboard.writes(), (std::vector<std::string>{"one", "two"}));

    FakePasteboard empty;
    EXPECT_TRUE(empty.snapshot().items.empty());
    EXPECT_EQ(empty.string(), std::nullopt);
    empty.restore(PasteboardSnapshot{}, empty.setString("x"));
    EXPECT_TRUE(empty.contents().items.empty());
}

TEST(FakePasteboard, RestoresOnlyAfterTheLatestPasteAndWhileNothingElseWasCopied) {
    FakePasteboard pasteboard(richSnapshot());
    auto original = pasteboard.snapshot();
    auto first = pasteboard.setString("from phone A");
    auto second = pasteboard.setString("from phone B");
    pasteboard.restore(original, first); // stale: a later paste owns the restore
    EXPECT_EQ(pasteboard.string(), "from phone B");
    pasteboard.restore(original, second);
    EXPECT_EQ(pasteboard.contents(), richSnapshot());
    EXPECT_EQ(pasteboard.setString("again"), second + 2) << "the restore was one change";

    pasteboard.userCopied("the user's copy");
    pasteboard.restore(original, second + 2);
    EXPECT_EQ(pasteboard.string(), "the user's copy");
    EXPECT_EQ(pasteboard.setString("third"), second + 4) << "the skipped restore changed nothing";
}

TEST(FakePasteboard, CountsEveryWriteFromSeveralThreads) {
    FakePasteboard pasteboard;
    constexpr int perThread = 200;
    std::vector<std::thread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&pasteboard, t] {
            for (int i = 0; i < perThread; ++i) {
                if (t % 2 == 0) {
                    pasteboard.setString("x");
                } else {
                    pasteboard.userCopied("y");
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(pasteboard.writes().size(), 2u * perThread);
    EXPECT_EQ(pasteboard.setString("last"), 4 * perThread + 1);
}

} // namespace
} // namespace orvik::helper
