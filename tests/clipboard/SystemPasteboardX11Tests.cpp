// SystemPasteboard against a real X server, with other clients (xclip, a Qt application, a bare Xlib client)
// as the clipboard's other owners and readers. Run under tests/support/run-with-xvfb.
#include "ClipboardTestSupport.hpp"
#include "clipboard/SystemPasteboard.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace orvik::helper {
namespace {

using testing::BackgroundProgram;
using testing::eventually;
using testing::offeredTargets;
using testing::patternBytes;
using testing::readClipboard;
using testing::TemporaryFile;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

bool offers(const std::string& target) {
    auto targets = offeredTargets();
    return std::find(targets.begin(), targets.end(), target) != targets.end();
}

// Another client takes the clipboard with xclip and serves `text` until it loses it.
std::unique_ptr<BackgroundProgram> copyWithXclip(SystemPasteboard& pasteboard, const std::string& text,
                                                 const std::string& target = "UTF8_STRING") {
    TemporaryFile file(bytesOf(text));
    auto before = pasteboard.changeCount();
    auto owner = std::make_unique<BackgroundProgram>(
        std::vector<std::string>{"xclip", "-quiet", "-selection", "clipboard", "-t", target, "-i", file.path()});
    EXPECT_TRUE(eventually([&] { return pasteboard.changeCount() > before; })) << "xclip never took the clipboard";
    return owner;
}

// Other clients answer slowly when the machine is busy (tests run in parallel); these checks are about content,
// so the bounds are wide. The bounds themselves are checked in SystemPasteboardLimits.
ClipboardLimits patientLimits() {
    ClipboardLimits limits;
    limits.conversionTime = std::chrono::seconds(10);
    limits.snapshotTime = std::chrono::seconds(20);
    limits.replyMargin = std::chrono::seconds(5);
    limits.quickCallTime = std::chrono::seconds(20);
    return limits;
}

class SystemPasteboardOnX11 : public ::testing::Test {
protected:
    SystemPasteboard pasteboard{{}, patientLimits()};
};

TEST_F(SystemPasteboardOnX11, OurWriteOffersTheTextUnderEveryAliasWithTheMarkers) {
    pasteboard.setString("Grüße € 日本");

    for (auto target : {"text/plain;charset=utf-8", "UTF8_STRING", "STRING", "TEXT", "org.nspasteboard.TransientType",
                        "org.nspasteboard.ConcealedType", "x-kde-passwordManagerHint", "TARGETS", "TIMESTAMP"})
        EXPECT_TRUE(offers(target)) << target;
    EXPECT_EQ(readClipboard("UTF8_STRING").text(), "Grüße € 日本");
    EXPECT_EQ(readClipboard("text/plain;charset=utf-8").text(), "Grüße € 日本");
    EXPECT_EQ(readClipboard("TEXT").text(), "Grüße € 日本");
    EXPECT_EQ(readClipboard("STRING").output, bytesOf("Gr\xFC\xDF"
                                                      "e ? ??"));
    EXPECT_EQ(readClipboard("x-kde-passwordManagerHint").text(), "secret");
    auto marker = readClipboard("org.nspasteboard.ConcealedType");
    EXPECT_EQ(marker.exitStatus, 0);
    EXPECT_TRUE(marker.output.empty());
    EXPECT_NE(readClipboard("MULTIPLE").exitStatus, 0);
    EXPECT_EQ(pasteboard.string(), "Grüße € 日本");
}

TEST_F(SystemPasteboardOnX11, EachOfOurWritesCountsOnceAndEveryOtherOwnerChangeCounts) {
    auto start = pasteboard.changeCount();
    auto first = pasteboard.setString("one");
    EXPECT_EQ(first, start + 1);
    // The server's report of our own write arrives afterwards and must not count again.
    EXPECT_EQ(pasteboard.changeCount(), first);
    auto second = pasteboard.setString("two");
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(pasteboard.changeCount(), second);

    auto owner = copyWithXclip(pasteboard, "from another client");
    EXPECT_EQ(pasteboard.changeCount(), second + 1);
    owner.reset(); // xclip exits while it owns the clipboard: the clipboard empties, another change
    EXPECT_TRUE(eventually([&] { return pasteboard.changeCount() == second + 2; }));
}

TEST_F(SystemPasteboardOnX11, RestorePutsBackWhatAnotherClientHadCopied) {
    auto owner = copyWithXclip(pasteboard, "the user's own text");
    auto saved = pasteboard.snapshot();
    ASSERT_EQ(saved.items.size(), 1u);
    EXPECT_EQ(saved.items[0].at("UTF8_STRING"), bytesOf("the user's own text"));

    auto count = pasteboard.setString("pasted from the phone");
    EXPECT_EQ(readClipboard("UTF8_STRING").text(), "pasted from the phone");
    pasteboard.restore(saved, count);

    EXPECT_EQ(pasteboard.changeCount(), count + 1);
    EXPECT_EQ(readClipboard("UTF8_STRING").text(), "the user's own text");
    EXPECT_FALSE(offers("org.nspasteboard.TransientType"));
    EXPECT_FALSE(offers("x-kde-passwordManagerHint"));
}

TEST_F(SystemPasteboardOnX11, RestoreIsSkippedWhenSomebodyCopiedInBetween) {
    auto saved = pasteboard.snapshot();
    auto count = pasteboard.setString("pasted from the phone");
    auto owner = copyWithXclip(pasteboard, "copied during the paste");

    pasteboard.restore(saved, count);

    EXPECT_EQ(pasteboard.string(), "copied during the paste");
    EXPECT_EQ(readClipboard("UTF8_STRING").text(), "copied during the paste");
}

TEST_F(SystemPasteboardOnX11, ASnapshotOfAQtApplicationRestoresItsTextAndImageTargets) {
    // Larger than one request: both the Qt owner and our restored copy send it incrementally.
    auto image = patternBytes(3 * 1024 * 1024 + 17, 7);
    TemporaryFile imageFile(image);
    auto before = pasteboard.changeCount();
    BackgroundProgram owner({ORVIK_TEST_CLIPBOARD_OWNER, "Zürich 日本", imageFile.path()});
    ASSERT_TRUE(eventually([&] { return pasteboard.changeCount() > before; }));

    auto saved = pasteboard.snapshot();
    ASSERT_EQ(saved.items.size(), 1u);
    const auto& item = saved.items[0];
    EXPECT_EQ(item.at("UTF8_STRING"), bytesOf("Zürich 日本"));
    EXPECT_EQ(item.at("STRING"), bytesOf("Z\xFCrich ??"));
    EXPECT_EQ(item.at("image/png"), image);
    EXPECT_FALSE(item.contains("TARGETS"));
    EXPECT_FALSE(item.contains("TEXT"));

    auto count = pasteboard.setString("pasted");
    pasteboard.restore(saved, count);
    EXPECT_EQ(pasteboard.changeCount(), count + 1); // waits for the restore

    EXPECT_EQ(readClipboard("image/png").output, image);
    EXPECT_EQ(readClipboard("UTF8_STRING").text(), "Zürich 日本");
    EXPECT_EQ(readClipboard("text/plain").text(), "Zürich 日本");
    EXPECT_EQ(pasteboard.snapshot(), saved);
}

TEST_F(SystemPasteboardOnX11, ALargeTargetIsReadIncrementallyAndServedBackTheSameWay) {
    // xclip sends anything over a quarter of the largest request incrementally.
    auto image = patternBytes(6 * 1024 * 1024 + 3, 11);
    TemporaryFile imageFile(image);
    auto before = pasteboard.changeCount();
    BackgroundProgram owner({"xclip", "-quiet", "-selection", "clipboard", "-t", "image/png", "-i", imageFile.path()});
    ASSERT_TRUE(eventually([&] { return pasteboard.changeCount() > before; }));

    auto saved = pasteboard.snapshot();
    ASSERT_EQ(saved.items.size(), 1u);
    EXPECT_EQ(saved.items[0].at("image/png"), image);

    auto count = pasteboard.setString("pasted");
    pasteboard.restore(saved, count);
    EXPECT_EQ(pasteboard.changeCount(), count + 1);
    EXPECT_EQ(readClipboard("image/png").output, image);
}

TEST_F(SystemPasteboardOnX11, RestoringAnEmptySnapshotLeavesTheClipboardEmpty) {
    auto count = pasteboard.setString("pasted");
    pasteboard.restore(PasteboardSnapshot{}, count);

    EXPECT_EQ(pasteboard.changeCount(), count + 1);
    EXPECT_TRUE(pasteboard.snapshot().items.empty());
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    EXPECT_NE(readClipboard("UTF8_STRING").exitStatus, 0);
}

TEST_F(SystemPasteboardOnX11, ALargeTextIsServedIncrementally) {
    std::string text(2 * 1024 * 1024 + 5, 'x');
    text += "end ü";
    pasteboard.setString(text);
    EXPECT_EQ(readClipboard("UTF8_STRING").text(), text);
    EXPECT_EQ(readClipboard("text/plain;charset=utf-8").text(), text);
}

TEST(SystemPasteboardLimits, TargetsOverTheSizeLimitAreLeftOutOfTheSnapshot) {
    ClipboardLimits limits = patientLimits();
    limits.maxTargetBytes = 64 * 1024;
    SystemPasteboard pasteboard({}, limits);
    auto image = patternBytes(limits.maxTargetBytes + 1, 3);
    TemporaryFile imageFile(image);
    auto before = pasteboard.changeCount();
    BackgroundProgram owner({ORVIK_TEST_CLIPBOARD_OWNER, "small text", imageFile.path()});
    ASSERT_TRUE(eventually([&] { return pasteboard.changeCount() > before; }));

    auto saved = pasteboard.snapshot();

    ASSERT_EQ(saved.items.size(), 1u);
    EXPECT_EQ(saved.items[0].at("UTF8_STRING"), bytesOf("small text"));
    EXPECT_FALSE(saved.items[0].contains("image/png"));
}

TEST(SystemPasteboardLimits, AnOwnerThatNeverAnswersDoesNotHoldTheCaller) {
    ClipboardLimits limits;
    limits.conversionTime = std::chrono::milliseconds(100);
    limits.snapshotTime = std::chrono::milliseconds(300);
    limits.quickCallTime = std::chrono::seconds(20);
    SystemPasteboard pasteboard({}, limits);
    auto before = pasteboard.changeCount();
    testing::SilentOwner silent;
    ASSERT_TRUE(eventually([&] { return pasteboard.changeCount() > before; }));

    EXPECT_TRUE(pasteboard.snapshot().items.empty());
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    // The clipboard thread is free again: our own write works at once.
    auto count = pasteboard.setString("after the silent owner");
    EXPECT_EQ(pasteboard.string(), "after the silent owner");
    EXPECT_EQ(pasteboard.changeCount(), count);
}

TEST(SystemPasteboardWithoutDisplay, AnswersAsAnEmptyClipboard) {
    SystemPasteboard pasteboard(":no-such-display");
    EXPECT_TRUE(pasteboard.snapshot().items.empty());
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    auto count = pasteboard.setString("nowhere");
    pasteboard.restore(PasteboardSnapshot::text("x"), count);
    EXPECT_EQ(pasteboard.changeCount(), count);
}

} // namespace
} // namespace orvik::helper
