#include "ServerHarness.hpp"

#include "orvik/protocol/keys/MacKey.hpp"

#include <gtest/gtest.h>

namespace orvik::test {
namespace {

using helper::PasteboardSnapshot;
using helper::RecordedInput;

class ServerPaste : public ::testing::Test {
protected:
    void SetUp() override {
        harness.pasteboard->userCopied("the user's own text");
        harness.start();
        anna = harness.addPairedDevice("Anna");
        bob = harness.addPairedDevice("Bob");
    }

    std::size_t pendingWaits() {
        return harness.onServer([](HelperServer& s) { return HelperServerProbe::pendingPasteWaits(s); });
    }
    void endWaits() {
        harness.onServer([](HelperServer& s) { HelperServerProbe::endPasteWaits(s); });
    }
    std::optional<std::string> clipboardText() { return harness.pasteboard->contents().text(); }

    ServerHarness harness;
    TestDevice anna;
    TestDevice bob;
};

TEST_F(ServerPaste, APasteIsCommandVOverTheTextAndPutsTheUsersContentsBack) {
    auto phone = harness.authenticatedPhone(anna);
    phone->send(TextInput{"hello", TextMode::paste});
    ASSERT_TRUE(harness.waitUntil([](HelperServer& s) { return HelperServerProbe::pendingPasteWaits(s) == 1; }));
    EXPECT_EQ(clipboardText(), "hello");

    // Command-V: the command modifier, then V down and up, then the modifier up.
    auto recorded = harness.sink->events();
    ASSERT_EQ(recorded.size(), 4u);
    auto* v = std::get_if<RecordedInput::Key>(&recorded[1].value);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->keyCode, static_cast<std::uint16_t>(MacKey::v));
    EXPECT_TRUE(v->isDown);
    EXPECT_TRUE(v->flags.contains(ModifierFlags::command));

    // The session reads its next message only after the restore.
    phone->send(Ping{1});
    EXPECT_FALSE(phone->nextIgnoringStatus(100ms));
    endWaits();
    EXPECT_EQ(phone->expect<Pong>().value, 1u);
    EXPECT_EQ(clipboardText(), "the user's own text");
}

TEST_F(ServerPaste, OnlyTheNewestOfOverlappingPastesRestoresAndItRestoresWhatCameBeforeTheFirst) {
    auto first = harness.authenticatedPhone(anna);
    auto second = harness.authenticatedPhone(bob);
    first->send(TextInput{"one", TextMode::paste});
    ASSERT_TRUE(harness.waitUntil([](HelperServer& s) { return HelperServerProbe::pendingPasteWaits(s) == 1; }));
    second->send(TextInput{"two", TextMode::paste});
    ASSERT_TRUE(harness.waitUntil([](HelperServer& s) { return HelperServerProbe::pendingPasteWaits(s) == 2; }));
    EXPECT_EQ(clipboardText(), "two");

    // The older paste's wait ends first: it must leave the restore to the newer one.
    endWaits();
    // The newer paste restores before its session reads on.
    second->send(Ping{1});
    second->expect<Pong>();
    EXPECT_EQ(clipboardText(), "the user's own text");
    EXPECT_EQ(harness.pasteboard->writes(), (std::vector<std::string>{"one", "two"}));
}

TEST_F(ServerPaste, ACopyDuringTheWaitIsNeverOverwritten) {
    auto phone = harness.authenticatedPhone(anna);
    phone->send(TextInput{"hello", TextMode::paste});
    ASSERT_TRUE(harness.waitUntil([](HelperServer& s) { return HelperServerProbe::pendingPasteWaits(s) == 1; }));
    harness.pasteboard->userCopied("copied meanwhile");
    endWaits();
    phone->send(Ping{1});
    phone->expect<Pong>();
    EXPECT_EQ(clipboardText(), "copied meanwhile");

    // The saved contents were dropped: the next paste saves afresh.
    phone->send(TextInput{"again", TextMode::paste});
    ASSERT_TRUE(harness.waitUntil([](HelperServer& s) { return HelperServerProbe::pendingPasteWaits(s) == 1; }));
    endWaits();
    phone->send(Ping{2});
    phone->expect<Pong>();
    EXPECT_EQ(clipboardText(), "copied meanwhile");
}

TEST(ServerPasteTiming, TheRestoreFollowsAfterTheDelay) {
    ServerHarness::Options options;
    options.pasteRestoreDelay = std::chrono::milliseconds(400);
    ServerHarness harness(std::move(options));
    harness.pasteboard->userCopied("before");
    harness.start();
    auto device = harness.addPairedDevice("Anna");
    auto phone = harness.authenticatedPhone(device);
    phone->send(TextInput{"pasted", TextMode::paste});
    phone->send(Ping{1});
    EXPECT_EQ(phone->expect<Pong>().value, 1u);
    EXPECT_EQ(harness.pasteboard->contents().text(), "before");
    EXPECT_EQ(harness.pasteboard->writes(), std::vector<std::string>{"pasted"});
    EXPECT_EQ(harness.sink->events().size(), 4u);
}

// A pasteboard whose every call fails, as a broken clipboard backend might.
class FailingPasteboard final : public helper::PasteboardAccess {
public:
    PasteboardSnapshot snapshot() override { throw std::runtime_error("no clipboard"); }
    std::int64_t setString(std::string_view) override { throw std::runtime_error("no clipboard"); }
    void restore(const PasteboardSnapshot&, std::int64_t) override { throw std::runtime_error("no clipboard"); }
    std::optional<std::string> string() override { throw std::runtime_error("no clipboard"); }
};

TEST(ServerPasteFailure, AFailingPasteboardPastesNothingAndTheSessionGoesOn) {
    ServerHarness::Options options;
    options.pasteboard = std::make_shared<FailingPasteboard>();
    ServerHarness harness(std::move(options));
    harness.start();
    auto phone = harness.authenticatedPhone(harness.addPairedDevice("Anna"));

    phone->send(TextInput{"hello", TextMode::paste});
    phone->send(Ping{7});
    EXPECT_EQ(phone->expect<Pong>().value, 7u);
    EXPECT_TRUE(harness.sink->events().empty()) << "no Command-V without the text on the clipboard";
}

} // namespace
} // namespace orvik::test
