// SystemPasteboard against a real X server, with other clients (xclip, a Qt application, a bare Xlib client)
// as the clipboard's other owners and readers. Run under tests/support/run-with-xvfb.
#include "ChildProcess.hpp"
#include "WaitUntil.hpp"
#include "clipboard/x11/SystemPasteboard.hpp"

#include <gtest/gtest.h>

// Last: Xlib's macros (None, Bool, Status) would change names in the headers above.
#include <X11/Xlib.h>

#include <algorithm>
#include <stdexcept>

namespace orvik::helper {
namespace {

using orvik::test::ChildProcess;
using orvik::test::waitUntil;
using namespace std::chrono_literals;

constexpr auto readerTime = 20s;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// Deterministic bytes that look like nothing in particular.
Bytes patternBytes(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    for (auto& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(seed >> 24);
    }
    return bytes;
}

// What another client reads from a selection for `target` (xclip), absent when it is refused.
std::optional<Bytes> readSelection(const std::string& selection, const std::string& target) {
    ChildProcess reader({"xclip", "-selection", selection, "-o", "-t", target});
    reader.closeInput();
    auto output = reader.readToEnd(readerTime);
    if (reader.waitForExit(readerTime) != 0) return std::nullopt;
    return bytesOf(output);
}

std::optional<Bytes> readClipboard(const std::string& target) {
    return readSelection("clipboard", target);
}

std::string readText(const std::string& target, const std::string& selection = "clipboard") {
    auto read = readSelection(selection, target);
    return read ? std::string(read->begin(), read->end()) : "(refused)";
}

// Whether another client sees `target` offered, in the listing of one target a line.
bool offers(const std::string& target) {
    return ("\n" + readText("TARGETS")).find("\n" + target + "\n") != std::string::npos;
}

// Starts another client that takes the selection `pasteboard` stands for with `input` on its standard input, once
// it has taken it.
std::unique_ptr<ChildProcess> startOwner(SystemPasteboard& pasteboard, std::vector<std::string> argv,
                                         const Bytes& input) {
    auto before = pasteboard.changeCount();
    auto owner = std::make_unique<ChildProcess>(std::move(argv));
    EXPECT_TRUE(owner->write(std::string(input.begin(), input.end())));
    owner->closeInput();
    EXPECT_TRUE(waitUntil([&] { return pasteboard.changeCount() > before; })) << "the owner never took the clipboard";
    return owner;
}

std::unique_ptr<ChildProcess> copyWithXclip(SystemPasteboard& pasteboard, const Bytes& data,
                                            const std::string& target = "UTF8_STRING") {
    return startOwner(pasteboard, {"xclip", "-quiet", "-selection", "clipboard", "-t", target, "-i"}, data);
}

std::unique_ptr<ChildProcess> copyWithQt(SystemPasteboard& pasteboard, const std::string& text, const Bytes& png) {
    return startOwner(pasteboard, {ORVIK_TEST_CLIPBOARD_OWNER, text, "--png-from-stdin"}, png);
}

// A client that takes the CLIPBOARD and then never reads a request: an owner that hangs.
class SilentOwner {
public:
    SilentOwner() : display_(XOpenDisplay(nullptr)) {
        if (display_ == nullptr) throw std::runtime_error("cannot open the display");
        Window window = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        XSetSelectionOwner(display_, XInternAtom(display_, "CLIPBOARD", False), window, CurrentTime);
        XSync(display_, False);
    }
    ~SilentOwner() { XCloseDisplay(display_); }
    SilentOwner(const SilentOwner&) = delete;
    SilentOwner& operator=(const SilentOwner&) = delete;

private:
    Display* display_;
};

// Other clients answer slowly when the machine is busy (tests run in parallel); these checks are about content,
// so the bounds are wide. The bounds themselves are checked in SystemPasteboardLimits.
ClipboardLimits patientLimits() {
    ClipboardLimits limits;
    limits.conversionTime = 10s;
    limits.snapshotTime = 20s;
    limits.replyMargin = 5s;
    limits.quickCallTime = 20s;
    return limits;
}

class SystemPasteboardOnX11 : public ::testing::Test {
protected:
    SystemPasteboard pasteboard{{}, patientLimits()};
};

TEST_F(SystemPasteboardOnX11, OurWriteOffersTheTextUnderEveryAliasWithTheMarkersEvenWhenLargeUntilRestored) {
    pasteboard.setString("Grüße € 日本");

    for (auto target : {"text/plain;charset=utf-8", "UTF8_STRING", "STRING", "TEXT", "org.nspasteboard.TransientType",
                        "org.nspasteboard.ConcealedType", "x-kde-passwordManagerHint", "TARGETS", "TIMESTAMP"})
        EXPECT_TRUE(offers(target)) << target;
    for (auto target : {"UTF8_STRING", "text/plain;charset=utf-8", "TEXT"}) {
        EXPECT_EQ(readText(target), "Grüße € 日本") << target;
    }
    EXPECT_EQ(readClipboard("STRING"), bytesOf("Gr\xFC\xDF"
                                               "e ? ??"));
    EXPECT_EQ(readText("x-kde-passwordManagerHint"), "secret");
    EXPECT_EQ(readClipboard("org.nspasteboard.ConcealedType"), Bytes{});
    EXPECT_EQ(readClipboard("MULTIPLE"), std::nullopt);
    EXPECT_EQ(pasteboard.string(), "Grüße € 日本");

    // Larger than one request: served incrementally.
    std::string large(2 * 1024 * 1024 + 5, 'x');
    large += "end ü";
    auto count = pasteboard.setString(large);
    EXPECT_EQ(readText("UTF8_STRING"), large);
    EXPECT_EQ(readText("text/plain;charset=utf-8"), large);

    pasteboard.restore(PasteboardSnapshot{}, count); // restoring an empty snapshot leaves the clipboard empty
    EXPECT_EQ(pasteboard.changeCount(), count + 1);
    EXPECT_TRUE(pasteboard.snapshot().items.empty());
    EXPECT_EQ(readClipboard("UTF8_STRING"), std::nullopt);
}

TEST_F(SystemPasteboardOnX11, EachOfOurWritesCountsOnceEveryOtherOwnerChangeCountsAndBlocksARestore) {
    auto saved = pasteboard.snapshot();
    auto start = pasteboard.changeCount();
    auto first = pasteboard.setString("one");
    EXPECT_EQ(first, start + 1);
    // The server's report of our own write arrives afterwards and must not count again.
    EXPECT_EQ(pasteboard.changeCount(), first);
    auto second = pasteboard.setString("two");
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(pasteboard.changeCount(), second);

    auto owner = copyWithXclip(pasteboard, bytesOf("from another client"));
    EXPECT_EQ(pasteboard.changeCount(), second + 1);
    pasteboard.restore(saved, second); // somebody copied since our write: skipped
    EXPECT_EQ(readText("UTF8_STRING"), "from another client");
    owner.reset(); // xclip ends while it owns the clipboard: the clipboard empties, another change
    EXPECT_TRUE(waitUntil([&] { return pasteboard.changeCount() == second + 2; }));
}

TEST_F(SystemPasteboardOnX11, RestorePutsBackWhatAnotherClientHadCopiedReadAndServedIncrementally) {
    // xclip sends anything over a quarter of the largest request incrementally.
    auto image = patternBytes(6 * 1024 * 1024 + 3, 11);
    auto owner = copyWithXclip(pasteboard, image, "image/png");
    auto saved = pasteboard.snapshot();
    ASSERT_EQ(saved.items.size(), 1u);
    EXPECT_EQ(saved.items[0].at("image/png"), image);

    auto count = pasteboard.setString("pasted from the phone");
    EXPECT_EQ(readText("UTF8_STRING"), "pasted from the phone");
    pasteboard.restore(saved, count);

    EXPECT_EQ(pasteboard.changeCount(), count + 1); // waits for the restore
    EXPECT_EQ(readClipboard("image/png"), image);
    EXPECT_FALSE(offers("org.nspasteboard.TransientType"));
    EXPECT_FALSE(offers("x-kde-passwordManagerHint"));
}

TEST_F(SystemPasteboardOnX11, ASnapshotOfAQtApplicationRestoresItsTextAndImageTargets) {
    // Larger than one request: both the Qt owner and our restored copy send it incrementally.
    auto image = patternBytes(3 * 1024 * 1024 + 17, 7);
    auto owner = copyWithQt(pasteboard, "Zürich 日本", image);

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
    EXPECT_EQ(pasteboard.changeCount(), count + 1);

    EXPECT_EQ(readClipboard("image/png"), image);
    EXPECT_EQ(readText("UTF8_STRING"), "Zürich 日本");
    EXPECT_EQ(readText("text/plain"), "Zürich 日本");
    EXPECT_EQ(pasteboard.snapshot(), saved);
}

TEST_F(SystemPasteboardOnX11, ThePrimarySelectionIsServedBesideTheClipboardWithAChangeCountOfItsOwn) {
    auto primary = pasteboard.primarySelection();
    auto selected =
        startOwner(*primary, {"xclip", "-quiet", "-selection", "primary", "-i"}, bytesOf("selected in a terminal"));
    auto saved = primary->snapshot();
    ASSERT_EQ(saved.items.size(), 1u);
    EXPECT_EQ(saved.items[0].at("UTF8_STRING"), bytesOf("selected in a terminal"));

    const auto clipboardCount = pasteboard.changeCount();
    auto count = primary->setString("pasted into a terminal");
    EXPECT_EQ(readText("UTF8_STRING", "primary"), "pasted into a terminal");
    EXPECT_EQ(readText("x-kde-passwordManagerHint", "primary"), "secret");
    EXPECT_EQ(readSelection("primary", "org.nspasteboard.ConcealedType"), Bytes{});
    EXPECT_EQ(pasteboard.changeCount(), clipboardCount) << "the clipboard is another selection";

    // Both owned at once: each answers with its own contents.
    pasteboard.setString("on the clipboard");
    EXPECT_EQ(readText("UTF8_STRING"), "on the clipboard");
    EXPECT_EQ(primary->string(), "pasted into a terminal");
    EXPECT_EQ(primary->changeCount(), count);

    primary->restore(saved, count);
    EXPECT_EQ(primary->changeCount(), count + 1);
    EXPECT_EQ(readText("UTF8_STRING", "primary"), "selected in a terminal");
    EXPECT_EQ(readText("x-kde-passwordManagerHint", "primary"), "(refused)");
    EXPECT_EQ(readText("UTF8_STRING"), "on the clipboard");

    // The user selects something else while our text is set: that selection survives the restore.
    count = primary->setString("pasted again");
    auto reselected =
        startOwner(*primary, {"xclip", "-quiet", "-selection", "primary", "-i"}, bytesOf("selected meanwhile"));
    primary->restore(saved, count);
    EXPECT_EQ(readText("UTF8_STRING", "primary"), "selected meanwhile");
}

TEST(SystemPasteboardLimits, TargetsOverTheSizeLimitAreLeftOutOfTheSnapshot) {
    ClipboardLimits limits = patientLimits();
    limits.maxTargetBytes = std::size_t{64} * 1024;
    SystemPasteboard pasteboard({}, limits);
    auto owner = copyWithQt(pasteboard, "small text", patternBytes(limits.maxTargetBytes + 1, 3));

    auto saved = pasteboard.snapshot();

    ASSERT_EQ(saved.items.size(), 1u);
    EXPECT_EQ(saved.items[0].at("UTF8_STRING"), bytesOf("small text"));
    EXPECT_FALSE(saved.items[0].contains("image/png"));
}

TEST(SystemPasteboardLimits, AnOwnerThatNeverAnswersDoesNotHoldTheCaller) {
    ClipboardLimits limits;
    limits.conversionTime = 100ms;
    limits.snapshotTime = 300ms;
    limits.quickCallTime = 20s;
    SystemPasteboard pasteboard({}, limits);
    auto before = pasteboard.changeCount();
    SilentOwner silent;
    ASSERT_TRUE(waitUntil([&] { return pasteboard.changeCount() > before; }));

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
