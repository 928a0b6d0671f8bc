#pragma once

#include "clipboard/ClipboardLimits.hpp"
#include "clipboard/ClipboardSelection.hpp"
#include "clipboard/PasteboardAccess.hpp"

#include <memory>
#include <string>

namespace orvik::helper {

class ClipboardThread;

// The desktop's clipboard (the X11 CLIPBOARD selection), or its primary selection, for the paste flow and the
// clipboard commands.
//
// It is served by a thread of its own with its own X connection, not through the GUI toolkit: while we own
// a selection, other applications' requests must be answered even when the GUI thread is busy, and the server
// thread that calls in here must never wait for the GUI. Calls wait only for the clipboard thread, and only
// boundedly (ClipboardLimits); a call that gets no answer in time returns as if the selection were empty.
//
// X11 keeps no change count, so the clipboard thread keeps one per selection: every owner change the server
// reports adds one, and each of our own writes adds exactly one.
class SystemPasteboard final : public PasteboardAccess {
public:
    // The CLIPBOARD of `displayName` (empty: the display named by $DISPLAY).
    explicit SystemPasteboard(std::string displayName = {}, ClipboardLimits limits = {});
    ~SystemPasteboard() override;

    // The PRIMARY selection of the same display, served by the same thread and connection.
    std::shared_ptr<SystemPasteboard> primarySelection() const;

    PasteboardSnapshot snapshot() override;
    std::int64_t setString(std::string_view text) override;
    void restore(const PasteboardSnapshot& snapshot, std::int64_t changeCount) override;
    std::optional<std::string> string() override;

    // The change count once every change the X server made so far has been seen.
    std::int64_t changeCount();

private:
    SystemPasteboard(std::shared_ptr<ClipboardThread> thread, ClipboardSelection selection);

    std::shared_ptr<ClipboardThread> thread_;
    ClipboardSelection selection_;
};

} // namespace orvik::helper
