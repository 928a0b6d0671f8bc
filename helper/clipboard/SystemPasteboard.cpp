#include "clipboard/SystemPasteboard.hpp"

#include "clipboard/ClipboardThread.hpp"
#include "clipboard/X11Clipboard.hpp"

namespace orvik::helper {

SystemPasteboard::SystemPasteboard(std::string displayName, ClipboardLimits limits)
    : thread_(std::make_unique<ClipboardThread>(std::move(displayName), limits)) {}

SystemPasteboard::~SystemPasteboard() = default;

PasteboardSnapshot SystemPasteboard::snapshot() {
    const auto& limits = thread_->limits();
    auto result = thread_->call<PasteboardSnapshot>([](X11Clipboard& clipboard) { return clipboard.snapshot(); },
                                                    limits.snapshotTime + limits.replyMargin);
    return result.value_or(PasteboardSnapshot{});
}

std::int64_t SystemPasteboard::setString(std::string_view text) {
    auto content = std::make_shared<ClipboardContent>(ClipboardContent::forText(text));
    auto count =
        thread_->call<std::int64_t>([content](X11Clipboard& clipboard) { return clipboard.write(std::move(*content)); },
                                    thread_->limits().quickCallTime);
    // Without an answer the write may still happen later; the last count seen makes a later restore skip
    // only if something changed meanwhile.
    return count.value_or(thread_->lastChangeCount());
}

void SystemPasteboard::restore(const PasteboardSnapshot& snapshot, std::int64_t changeCount) {
    // Nothing to report, so nothing to wait for: the clipboard thread runs it after every earlier call.
    thread_->post([snapshot, changeCount](X11Clipboard& clipboard) { clipboard.restore(snapshot, changeCount); });
}

std::optional<std::string> SystemPasteboard::string() {
    const auto& limits = thread_->limits();
    auto text = thread_->call<std::optional<std::string>>([](X11Clipboard& clipboard) { return clipboard.text(); },
                                                          limits.conversionTime + limits.replyMargin);
    return text.value_or(std::nullopt);
}

std::int64_t SystemPasteboard::changeCount() {
    auto count = thread_->call<std::int64_t>(
        [](X11Clipboard& clipboard) {
            clipboard.sync();
            return clipboard.changeCount();
        },
        thread_->limits().quickCallTime);
    return count.value_or(thread_->lastChangeCount());
}

} // namespace orvik::helper
