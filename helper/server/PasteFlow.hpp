#pragma once

#include "clipboard/PasteboardAccess.hpp"
#include "core/BootTimer.hpp"
#include "core/IoThread.hpp"

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// Pastes text the way a user would: puts it on the clipboard, presses Command-V, and after a short delay puts
// back what the user had there, unless the user copied something meanwhile. Overlapping pastes (from several
// phones) keep the contents from before the first and only the newest restores them.
//
// Threading: paste() runs on the executor given at creation (the server's thread) and suspends while the
// pasteboard works and while the restore waits. The pasteboard is called on a thread of the flow's own: it may
// block briefly while it talks to the X server or another client, and the server's thread never waits for that.
class PasteFlow {
public:
    // Longest wait for one call to the pasteboard; a late answer is dropped.
    static constexpr std::chrono::seconds pasteboardTimeout{2};
    // Presses Command-V if input may be posted at that moment (control may have been paused meanwhile).
    using PressPaste = std::function<void()>;

    PasteFlow(asio::any_io_executor executor, std::shared_ptr<PasteboardAccess> pasteboard,
              std::chrono::milliseconds restoreDelay, PressPaste pressPaste);

    PasteFlow(const PasteFlow&) = delete;
    PasteFlow& operator=(const PasteFlow&) = delete;

    // Completes once the user's contents are back (or the restore was left to a newer paste).
    asio::awaitable<void> paste(std::string text);

    // Restore waits under way, oldest first; ending one lets a test skip its delay.
    std::size_t pendingRestoreWaits() const;
    void endOldestRestoreWait();

private:
    template <class T, class Call> asio::awaitable<std::optional<T>> onPasteboard(Call call);
    asio::awaitable<void> waitBeforeRestore();

    asio::any_io_executor executor_;
    std::shared_ptr<PasteboardAccess> pasteboard_;
    std::chrono::milliseconds restoreDelay_;
    PressPaste pressPaste_;
    std::shared_ptr<IoThread> pasteboardThread_;

    std::int64_t generation_ = 0;
    std::optional<PasteboardSnapshot> original_;
    // A run of overlapping pastes is under way: its first paste takes (or took) the snapshot to restore.
    bool runOpen_ = false;
    std::vector<std::weak_ptr<BootTimer>> restoreWaits_;
};

} // namespace orvik::helper
