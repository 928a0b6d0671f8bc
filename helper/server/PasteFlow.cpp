#include "server/PasteFlow.hpp"

#include "core/CallbackAwait.hpp"
#include "core/Log.hpp"

#include <algorithm>
#include <atomic>

namespace orvik::helper {

PasteFlow::PasteFlow(asio::any_io_executor executor, std::vector<std::shared_ptr<PasteboardAccess>> pasteboards,
                     std::chrono::milliseconds restoreDelay, PressPaste pressPaste)
    : executor_(std::move(executor)), pasteboards_(std::move(pasteboards)), restoreDelay_(restoreDelay),
      pressPaste_(std::move(pressPaste)),
      pasteboardThread_(std::make_shared<IoThread>("Orvik.Paste", IoThread::AtDestruction::finishPendingWork)) {}

// Runs `call` on the pasteboard's thread and resumes here with its result, or with nothing when the pasteboard
// has not answered within pasteboardTimeout.
template <class T, class Call> asio::awaitable<std::optional<T>> PasteFlow::onPasteboard(Call call) {
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

asio::awaitable<void> PasteFlow::paste(std::string text) {
    // The first paste of overlapping ones saves the user's contents; only the newest puts them back.
    const bool savesOriginal = !runOpen_;
    runOpen_ = true;
    const auto generation = ++generation_;

    struct Written {
        std::optional<std::vector<PasteboardSnapshot>> originals;
        std::vector<std::int64_t> changeCounts;
    };
    auto abandoned = std::make_shared<std::atomic<bool>>(false);
    auto write = [pasteboards = pasteboards_, text = std::move(text), savesOriginal, abandoned] {
        Written result;
        if (savesOriginal) {
            result.originals.emplace();
            for (const auto& pasteboard : pasteboards) result.originals->push_back(pasteboard->snapshot());
        }
        // A write after the flow gave up would never be undone: leave the user's contents alone.
        if (abandoned->load()) return std::optional<Written>();
        for (const auto& pasteboard : pasteboards) result.changeCounts.push_back(pasteboard->setString(text));
        return std::optional<Written>(std::move(result));
    };
    auto written = co_await onPasteboard<Written>(std::move(write));
    if (written) {
        if (written->originals) original_ = std::move(written->originals);
        pressPaste_();
        co_await waitBeforeRestore();
    } else {
        abandoned->store(true);
        Log::error("Server", "Pasteboard did not answer");
    }

    if (generation != generation_) co_return;
    auto original = std::exchange(original_, std::nullopt);
    runOpen_ = false;
    if (original && written) {
        // A paste that starts meanwhile saves what this puts back: the pasteboard thread runs calls in order.
        // Each pasteboard is restored only if nobody changed it since our write.
        auto restore = [pasteboards = pasteboards_, original = std::move(*original),
                        changeCounts = std::move(written->changeCounts)] {
            for (std::size_t index = 0; index < pasteboards.size(); ++index)
                pasteboards[index]->restore(original[index], changeCounts[index]);
            return true;
        };
        co_await onPasteboard<bool>(std::move(restore));
    }
}

asio::awaitable<void> PasteFlow::waitBeforeRestore() {
    // Counted on the boot-time clock: a machine suspended during the wait restores at once on wake.
    auto wait = std::make_shared<BootTimer>(executor_, restoreDelay_);
    restoreWaits_.push_back(wait);
    co_await wait->wait();
    std::erase_if(restoreWaits_, [&](const auto& pending) { return pending.expired() || pending.lock() == wait; });
}

std::size_t PasteFlow::pendingRestoreWaits() const {
    return static_cast<std::size_t>(
        std::count_if(restoreWaits_.begin(), restoreWaits_.end(), [](const auto& wait) { return !wait.expired(); }));
}

void PasteFlow::endOldestRestoreWait() {
    std::erase_if(restoreWaits_, [](const auto& wait) { return wait.expired(); });
    if (restoreWaits_.empty()) return;
    if (auto oldest = restoreWaits_.front().lock()) oldest->cancel();
    restoreWaits_.erase(restoreWaits_.begin());
}

} // namespace orvik::helper
