#pragma once

#include "clipboard/PasteboardAccess.hpp"
#include "core/BootTimer.hpp"
#include "core/IoThread.hpp"
#include "orvik/protocol/messages/InputMessages.hpp"

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvik::helper {

// Pastes text the way a user would: puts it on the pasteboards (the clipboard, and the primary selection where
// there is one), presses the paste keys, and after a short delay puts back what the user had on each, unless
// the user changed that one meanwhile. Overlapping pastes (from several phones) keep the contents from before
// the first and only the newest restores them.
//
// The paste keys are Shift+Insert, not Control+V: terminals take Control+V as a literal control character and
// paste the primary selection on Shift+Insert, while text fields and browsers paste the clipboard on it.
//
// Threading: paste() runs on the executor given at creation (the server's thread) and suspends while the
// pasteboards work and while the restore waits. The pasteboards are called on a thread of the flow's own: they
// may block briefly while they talk to the X server or another client, and the server's thread never waits.
class PasteFlow {
public:
    // Longest wait for one call to the pasteboards; a late answer is dropped. A paste's first call reads each
    // pasteboard in full, which an unhurried owner can stretch to its snapshot bound, so this allows two.
    static constexpr std::chrono::seconds pasteboardTimeout{4};
    // The key that pastes: 0x72 is the Mac key code for the key where a PC keyboard has Insert.
    static constexpr std::uint16_t insertKeyCode = 0x72;
    static constexpr KeyEvent pasteKeys{insertKeyCode, ModifierFlags::shift, KeyAction::press};
    // Presses the paste keys if input may be posted at that moment (control may have been paused meanwhile).
    using PressPaste = std::function<void()>;

    // `pasteboards` holds at least one pasteboard; each gets the text and has its own contents restored.
    PasteFlow(asio::any_io_executor executor, std::vector<std::shared_ptr<PasteboardAccess>> pasteboards,
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
    std::vector<std::shared_ptr<PasteboardAccess>> pasteboards_;
    std::chrono::milliseconds restoreDelay_;
    PressPaste pressPaste_;
    std::shared_ptr<IoThread> pasteboardThread_;

    std::int64_t generation_ = 0;
    // The user's contents of each pasteboard, in the order of pasteboards_.
    std::optional<std::vector<PasteboardSnapshot>> original_;
    // A run of overlapping pastes is under way: its first paste takes (or took) the snapshot to restore.
    bool runOpen_ = false;
    std::vector<std::weak_ptr<BootTimer>> restoreWaits_;
};

} // namespace orvik::helper
