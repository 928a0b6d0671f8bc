#include "server/HelperServer.hpp"

#include "core/Log.hpp"
#include "injection/TextTyping.hpp"
#include "server/HelperServerCallbacks.hpp"
#include "server/HelperServerInternals.hpp"

#include <pthread.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

namespace orvik::helper {

HelperServer::PasteboardWorker::PasteboardWorker() {
    asio::post(pool, [] { pthread_setname_np(pthread_self(), threadName); });
}

HelperServer::PasteboardWorker::~PasteboardWorker() {
    pool.join();
}

asio::awaitable<void> HelperServer::insertText(TextInput input) {
    if (TextTyping::shouldPaste(input.text, input.mode)) {
        co_await paste(std::move(input.text));
        co_return;
    }
    // Typed in one go, without suspending: no other message is handled in the middle of a text.
    for (const auto& segment : TextTyping::segments(input.text)) {
        if (auto* key = std::get_if<TextTyping::Segment::Key>(&segment.value)) {
            input_.press(KeyCombo{key->key, ModifierFlags{}});
        } else if (auto* text = std::get_if<TextTyping::Segment::Text>(&segment.value)) {
            input_.typeUnicode(text->units);
        }
    }
}

// Runs `call` on the pasteboard's thread and resumes here with its result, or with nothing when the pasteboard
// has not answered within pasteboardTimeout (the late answer is then dropped).
template <class T, class Call> asio::awaitable<std::optional<T>> HelperServer::onPasteboard(Call call) {
    auto timer = std::make_shared<asio::steady_timer>(executor_, pasteboardTimeout);
    auto worker = pasteboardWorker_;
    auto race = [call = std::move(call), timer, worker](std::function<void(std::optional<T>)> done) mutable {
        asio::post(worker->pool, [call = std::move(call), done]() mutable {
            // An exception here would end the process from the paste thread; count it as no answer instead.
            std::optional<T> answer;
            try {
                answer = call();
            } catch (const std::exception& error) {
                Log::error("Server", std::string("Pasteboard call failed: ") + error.what());
            }
            done(std::move(answer));
        });
        timer->async_wait([done](std::error_code) { done(std::nullopt); });
    };
    auto result = co_await awaitResult<std::optional<T>>(std::move(race));
    timer->cancel();
    co_return result;
}

asio::awaitable<void> HelperServer::paste(std::string text) {
    // The first paste of overlapping ones saves the user's contents; only the newest puts them back.
    const bool savesOriginal = !pasteRunOpen_;
    pasteRunOpen_ = true;
    const auto generation = ++pasteGeneration_;

    struct Written {
        std::optional<PasteboardSnapshot> original;
        std::int64_t changeCount = 0;
    };
    auto abandoned = std::make_shared<std::atomic<bool>>(false);
    auto write = [pasteboard = pasteboard_, text, savesOriginal, abandoned] {
        Written result;
        if (savesOriginal) result.original = pasteboard->snapshot();
        // A write after the server gave up would never be undone: leave the user's contents alone.
        if (abandoned->load()) return std::optional<Written>();
        result.changeCount = pasteboard->setString(text);
        return std::optional<Written>(std::move(result));
    };
    auto written = co_await onPasteboard<Written>(std::move(write));
    if (!written) abandoned->store(true);

    if (written) {
        if (written->original) pasteOriginal_ = std::move(written->original);
        // Pausing may have happened while the pasteboard was busy.
        if (canInject()) input_.press(KeyCombo{MacKey::v, ModifierFlags::command});
        co_await waitForPasteRestore();
    } else {
        Log::error("Server", "Pasteboard did not answer");
    }

    if (generation != pasteGeneration_) co_return;
    auto original = std::exchange(pasteOriginal_, std::nullopt);
    pasteRunOpen_ = false;
    if (original && written) {
        // A paste that starts meanwhile saves what this puts back: the pasteboard thread runs calls in order.
        auto restore = [pasteboard = pasteboard_, original = std::move(*original), changeCount = written->changeCount] {
            pasteboard->restore(original, changeCount);
            return true;
        };
        co_await onPasteboard<bool>(std::move(restore));
    }
}

HelperServer::PasteWait::PasteWait(const asio::any_io_executor& executor, std::chrono::nanoseconds delay)
    : timer_(executor), fallback_(executor, delay) {
    const int descriptor = ::timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (descriptor < 0) return;
    // An all-zero time would disarm the timer instead of firing it at once.
    const auto nanoseconds = std::max<std::int64_t>(delay.count(), 1);
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
    when.it_value.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
    if (::timerfd_settime(descriptor, 0, &when, nullptr) != 0) {
        ::close(descriptor);
        return;
    }
    timer_.assign(descriptor);
}

asio::awaitable<void> HelperServer::PasteWait::wait() {
    std::error_code endedEarly;
    if (timer_.is_open()) {
        co_await timer_.async_wait(asio::posix::stream_descriptor::wait_read,
                                   asio::redirect_error(asio::use_awaitable, endedEarly));
    } else {
        co_await fallback_.async_wait(asio::redirect_error(asio::use_awaitable, endedEarly));
    }
}

void HelperServer::PasteWait::cancel() {
    timer_.cancel();
    fallback_.cancel();
}

asio::awaitable<void> HelperServer::waitForPasteRestore() {
    auto wait = std::make_shared<PasteWait>(executor_, pasteRestoreDelay_);
    pasteWaits_.push_back(wait);
    co_await wait->wait();
    std::erase_if(pasteWaits_, [&](const auto& pending) { return pending.expired() || pending.lock() == wait; });
}

} // namespace orvik::helper
