#include "server/PasteFlow.hpp"

#include "WaitUntil.hpp"
#include "clipboard/FakePasteboard.hpp"

#include <gtest/gtest.h>

#include <future>

namespace orvik::helper {
namespace {

using namespace std::chrono_literals;

// A pasteboard whose every call fails, as a broken clipboard backend might.
class FailingPasteboard final : public PasteboardAccess {
public:
    PasteboardSnapshot snapshot() override { throw std::runtime_error("no clipboard"); }
    std::int64_t setString(std::string_view) override { throw std::runtime_error("no clipboard"); }
    void restore(const PasteboardSnapshot&, std::int64_t) override { throw std::runtime_error("no clipboard"); }
    std::optional<std::string> string() override { throw std::runtime_error("no clipboard"); }
};

// The flow on a thread of its own, as on the server's, over a fake clipboard and a fake primary selection; the
// presses of the paste keys are counted.
class PasteFlowFixture : public ::testing::Test {
protected:
    PasteFlowFixture() {
        pasteboard->userCopied("the user's own text");
        primary->userCopied("the user's selected text");
        remake({pasteboard, primary}, 1h);
    }
    ~PasteFlowFixture() override { remake({}, 0ms); }

    template <class F> auto onThread(F call) { return asio::post(thread.executor(), asio::use_future(call)).get(); }
    void remake(std::vector<std::shared_ptr<PasteboardAccess>> boards, std::chrono::milliseconds delay) {
        onThread([&] {
            flow.reset();
            if (!boards.empty())
                flow = std::make_unique<PasteFlow>(thread.executor(), std::move(boards), delay, [this] { ++presses; });
        });
    }
    std::future<void> paste(std::string text) {
        return asio::co_spawn(thread.executor(), flow->paste(std::move(text)), asio::use_future);
    }
    bool waitsPending(std::size_t count) {
        return test::waitUntil([&] { return onThread([&] { return flow->pendingRestoreWaits(); }) == count; });
    }
    void endOldestWait() {
        onThread([this] { flow->endOldestRestoreWait(); });
    }
    std::optional<std::string> clipboardText() { return pasteboard->contents().text(); }
    std::optional<std::string> primaryText() { return primary->contents().text(); }

    IoThread thread{"PasteFlowFixture"};
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<FakePasteboard> primary = std::make_shared<FakePasteboard>();
    std::atomic<int> presses = 0;
    std::unique_ptr<PasteFlow> flow;
};

TEST_F(PasteFlowFixture, PutsTheTextOnEveryPasteboardPressesOnceAndPutsEachOnesContentsBackAfterTheWait) {
    auto pasted = paste("hello");
    ASSERT_TRUE(waitsPending(1));
    EXPECT_EQ(clipboardText(), "hello");
    EXPECT_EQ(primaryText(), "hello");
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(pasted.wait_for(0s), std::future_status::timeout) << "done only after the restore";
    endOldestWait();
    pasted.get();
    EXPECT_EQ(clipboardText(), "the user's own text");
    EXPECT_EQ(primaryText(), "the user's selected text");
}

TEST_F(PasteFlowFixture, OnlyTheNewestOfOverlappingPastesRestoresWhatCameBeforeTheFirst) {
    auto first = paste("one");
    ASSERT_TRUE(waitsPending(1));
    auto second = paste("two");
    ASSERT_TRUE(waitsPending(2));
    endOldestWait();
    first.get();
    EXPECT_EQ(clipboardText(), "two") << "the older paste leaves the restore to the newer";
    endOldestWait();
    second.get();
    EXPECT_EQ(clipboardText(), "the user's own text");
    EXPECT_EQ(primaryText(), "the user's selected text");
    EXPECT_EQ(pasteboard->writes(), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(primary->writes(), (std::vector<std::string>{"one", "two"}));
}

TEST_F(PasteFlowFixture, ACopyDuringTheWaitSurvivesOnItsPasteboardAndTheSavedContentsAreDropped) {
    auto pasted = paste("hello");
    ASSERT_TRUE(waitsPending(1));
    pasteboard->userCopied("copied meanwhile");
    endOldestWait();
    pasted.get();
    EXPECT_EQ(clipboardText(), "copied meanwhile");
    EXPECT_EQ(primaryText(), "the user's selected text") << "the untouched selection is restored all the same";

    auto again = paste("again");
    ASSERT_TRUE(waitsPending(1));
    primary->userCopied("selected meanwhile");
    endOldestWait();
    again.get();
    EXPECT_EQ(clipboardText(), "copied meanwhile") << "the next paste saved afresh";
    EXPECT_EQ(primaryText(), "selected meanwhile");
}

TEST_F(PasteFlowFixture, TheRestoreFollowsByItselfAndABrokenPasteboardPastesNothing) {
    remake({pasteboard}, 1ms);
    paste("pasted").get();
    EXPECT_EQ(clipboardText(), "the user's own text");
    EXPECT_EQ(pasteboard->writes(), std::vector<std::string>{"pasted"});
    EXPECT_EQ(presses, 1);

    remake({pasteboard, std::make_shared<FailingPasteboard>()}, 1ms);
    paste("hello").get();
    EXPECT_EQ(presses, 1) << "no paste keys without the text on every pasteboard";
    EXPECT_EQ(clipboardText(), "the user's own text");
}

} // namespace
} // namespace orvik::helper
