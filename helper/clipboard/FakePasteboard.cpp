#include "clipboard/FakePasteboard.hpp"

namespace orvik::helper {

FakePasteboard::FakePasteboard(PasteboardSnapshot contents) {
    state_.contents = std::move(contents);
}

PasteboardSnapshot FakePasteboard::snapshot() {
    return contents();
}

std::int64_t FakePasteboard::setString(std::string_view text) {
    auto written = PasteboardSnapshot::text(text);
    std::lock_guard lock(mutex_);
    state_.contents = std::move(written);
    state_.writes.emplace_back(text);
    return ++state_.changeCount;
}

void FakePasteboard::restore(const PasteboardSnapshot& snapshot, std::int64_t changeCount) {
    std::lock_guard lock(mutex_);
    if (state_.changeCount != changeCount) return;
    state_.contents = snapshot;
    ++state_.changeCount;
}

std::optional<std::string> FakePasteboard::string() {
    return contents().text();
}

PasteboardSnapshot FakePasteboard::contents() const {
    std::lock_guard lock(mutex_);
    return state_.contents;
}

std::vector<std::string> FakePasteboard::writes() const {
    std::lock_guard lock(mutex_);
    return state_.writes;
}

void FakePasteboard::userCopied(std::string_view text) {
    auto copied = PasteboardSnapshot::text(text);
    std::lock_guard lock(mutex_);
    state_.contents = std::move(copied);
    ++state_.changeCount;
}

} // namespace orvik::helper
