#include "server/HelperServer.hpp"

#include "core/CallbackAwait.hpp"
#include "core/Log.hpp"
#include "injection/TextTyping.hpp"
#include "server/HelperServerInternals.hpp"

#include <algorithm>
#include <atomic>

namespace orvik::helper {

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
    auto worker = pasteboardThread_;
    auto race = [call = std::move(call), timer, worker](std::function<void(std::optional<T>)> done) mutable {
        asio::post(worker->executor(), [call = std::move(call), done]() mutable {
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

asio::awaitable<void> HelperServer::waitForPasteRestore() {
    auto wait = std::make_shared<BootTimer>(executor_, pasteRestoreDelay_);
    pasteWaits_.push_back(wait);
    co_await wait->wait();
    std::erase_if(pasteWaits_, [&](const auto& pending) { return pending.expired() || pending.lock() == wait; });
}

} // namespace orvik::helper
