#pragma once

#include "clipboard/PasteboardAccess.hpp"

#include <mutex>
#include <vector>

namespace orvik::helper {

// An in-memory clipboard with a change count, recording the texts written through it. Thread-safe.
class FakePasteboard final : public PasteboardAccess {
public:
    explicit FakePasteboard(PasteboardSnapshot contents = {});

    PasteboardSnapshot snapshot() override;
    std::int64_t setString(std::string_view text) override;
    void restore(const PasteboardSnapshot& snapshot, std::int64_t changeCount) override;
    std::optional<std::string> string() override;

    PasteboardSnapshot contents() const;
    // Every text written with setString, oldest first.
    std::vector<std::string> writes() const;
    // Stands for the user copying `text`: a change that is not one of our writes.
    void userCopied(std::string_view text);

private:
    struct State {
        PasteboardSnapshot contents;
        std::int64_t changeCount = 0;
        std::vector<std::string> writes;
    };

    mutable std::mutex mutex_;
    State state_;
};

} // namespace orvik::helper
