#pragma once

#include "clipboard/ClipboardLimits.hpp"
#include "clipboard/PasteboardAccess.hpp"

#include <memory>
#include <string>

namespace orvik::helper {

class ClipboardThread;

// The desktop's clipboard (the X11 CLIPBOARD selection) for the paste flow and the clipboard commands.
//
// It is served by a thread of its own with its own X connection, not through the GUI toolkit: while we own
// the clipboard, other applications' requests must be answered even when the GUI thread is busy, and the
// server thread that calls in here must never wait for the GUI. Calls wait only for the clipboard thread, and
// only boundedly (ClipboardLimits); a call that gets no answer in time returns as if the clipboard were empty.
//
// X11 keeps no change count, so the clipboard thread keeps one: every owner change the server reports adds
// one, and each of our own writes adds exactly one.
class SystemPasteboard final : public PasteboardAccess {
public:
    // `displayName` empty: the display named by $DISPLAY.
    explicit SystemPasteboard(std::string displayName = {}, ClipboardLimits limits = {});
    ~SystemPasteboard() override;

    PasteboardSnapshot snapshot() override;
    std::int64_t setString(std::string_view text) override;
    void restore(const PasteboardSnapshot& snapshot, std::int64_t changeCount) override;
    std::optional<std::string> string() override;

    // The change count once every change the X server made so far has been seen.
    std::int64_t changeCount();

private:
    std::unique_ptr<ClipboardThread> thread_;
};

} // namespace orvik::helper
