#include "core/CallbackAwait.hpp"

#include "core/IoThread.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <thread>

namespace orvik::helper {
namespace {

// The injected services answer from threads of their own; the awaiting server code must go on on its thread.
TEST(HelperServerCallbacks, AnAnswerFromAnotherThreadResumesOnTheAwaitingExecutor) {
    IoThread server{"Orvik.Test"};
    std::thread::id answeredOn;
    std::thread::id resumedOn;
    std::jthread answerer; // joined before the server's context goes: it may still be inside its post
    auto answer = [&](std::function<void(int)> done) {
        answerer = std::jthread([&answeredOn, done] {
            answeredOn = std::this_thread::get_id();
            done(42);
            done(7); // a second answer is ignored
        });
    };
    auto result = asio::co_spawn(
        server.executor(),
        [&]() -> asio::awaitable<int> {
            auto value = co_await awaitResult<int>(answer);
            resumedOn = std::this_thread::get_id();
            co_return value;
        },
        asio::use_future);
    EXPECT_EQ(result.get(), 42);
    answerer.join();
    EXPECT_EQ(resumedOn, server.threadID());
    EXPECT_NE(answeredOn, server.threadID());
}

TEST(HelperServerCallbacks, ACompletionCalledAtOnceStillResumesTheAwaiter) {
    IoThread server{"Orvik.Test"};
    int started = 0;
    auto immediate = [&](std::function<void()> done) {
        ++started;
        done();
    };
    auto finished = asio::co_spawn(
        server.executor(), [&]() -> asio::awaitable<void> { co_await awaitCompletion(immediate); }, asio::use_future);
    EXPECT_EQ(finished.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(started, 1);
}

// A service may answer after the awaiting loop has gone (a sound server that answers late while the program
// quits): the answer is dropped, never posted into a destroyed loop.
TEST(HelperServerCallbacks, AnAnswerAfterTheLoopWasDestroyedIsDropped) {
    std::function<void()> late;
    {
        IoThread server{"Orvik.Test"};
        std::promise<void> waiting;
        auto keep = [&](std::function<void()> done) {
            late = std::move(done);
            waiting.set_value();
        };
        asio::co_spawn(
            server.executor(), [&]() -> asio::awaitable<void> { co_await awaitCompletion(keep); }, asio::detached);
        waiting.get_future().wait();
    }
    std::thread([&] { late(); }).join();
}

// Mend: an answer posted just before its loop went left the awaiting coroutine to whichever dropped it last, the
// loop's queue or the service's callback; on the service's thread, a server destroyed with it stopped that very
// thread from within (a use after free at exit). The loop's side now destroys it.
TEST(HelperServerCallbacks, AnAnsweredCoroutineTheLoopNeverRanIsDestroyedWithTheLoop) {
    struct Witness {
        std::thread::id* destroyedOn;
        ~Witness() { *destroyedOn = std::this_thread::get_id(); }
    };
    std::thread::id destroyedOn;
    std::function<void()> answer;
    {
        asio::io_context loop;
        auto keep = [&](std::function<void()> done) { answer = std::move(done); };
        asio::co_spawn(
            loop,
            [&]() -> asio::awaitable<void> {
                Witness witness{&destroyedOn};
                co_await awaitCompletion(keep);
            },
            asio::detached);
        loop.poll();
        ASSERT_TRUE(answer);
        answer();
    }
    std::thread([&] { answer = nullptr; }).join();
    EXPECT_EQ(destroyedOn, std::this_thread::get_id());
}

} // namespace
} // namespace orvik::helper
