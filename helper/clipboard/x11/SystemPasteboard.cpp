#include "clipboard/x11/SystemPasteboard.hpp"

#include "clipboard/x11/ClipboardThread.hpp"
#include "clipboard/x11/X11Clipboard.hpp"

namespace orvik::helper {

SystemPasteboard::SystemPasteboard(std::string displayName, ClipboardLimits limits)
    : SystemPasteboard(std::make_shared<ClipboardThread>(std::move(displayName), limits),
                       ClipboardSelection::clipboard) {}

SystemPasteboard::SystemPasteboard(std::shared_ptr<ClipboardThread> thread, ClipboardSelection selection)
    : thread_(std::move(thread)), selection_(selection) {}

SystemPasteboard::~SystemPasteboard() = default;

std::shared_ptr<SystemPasteboard> SystemPasteboard::primarySelection() const {
    return std::shared_ptr<SystemPasteboard>(new SystemPasteboard(thread_, ClipboardSelection::primary));
}

PasteboardSnapshot SystemPasteboard::snapshot() {
    const auto& limits = thread_->limits();
    auto result = thread_->call<PasteboardSnapshot>(
        [which = selection_](X11Clipboard& clipboard) { return clipboard.snapshot(which); },
        limits.snapshotTime + limits.replyMargin);
    return result.value_or(PasteboardSnapshot{});
}

std::int64_t SystemPasteboard::setString(std::string_view text) {
    auto content = std::make_shared<ClipboardContent>(ClipboardContent::forText(text));
    auto count = thread_->call<std::int64_t>(
        [content, which = selection_](X11Clipboard& clipboard) { return clipboard.write(which, std::move(*content)); },
        thread_->limits().quickCallTime);
    // Without an answer the write may still happen later; the last count seen makes a later restore skip
    // only if something changed meanwhile.
    return count.value_or(thread_->lastChangeCount(selection_));
}

void SystemPasteboard::restore(const PasteboardSnapshot& snapshot, std::int64_t changeCount) {
    // Nothing to report, so nothing to wait for: the clipboard thread runs it after every earlier call.
    thread_->post([snapshot, changeCount, which = selection_](X11Clipboard& clipboard) {
        clipboard.restore(which, snapshot, changeCount);
    });
}

std::optional<std::string> SystemPasteboard::string() {
    const auto& limits = thread_->limits();
    auto text = thread_->call<std::optional<std::string>>(
        [which = selection_](X11Clipboard& clipboard) { return clipboard.text(which); },
        limits.conversionTime + limits.replyMargin);
    return text.value_or(std::nullopt);
}

std::int64_t SystemPasteboard::changeCount() {
    auto count = thread_->call<std::int64_t>(
        [which = selection_](X11Clipboard& clipboard) {
            clipboard.sync();
            return clipboard.changeCount(which);
        },
        thread_->limits().quickCallTime);
    return count.value_or(thread_->lastChangeCount(selection_));
}

} // namespace orvik::helper
