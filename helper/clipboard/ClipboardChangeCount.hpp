#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace orvik::helper {

// X11 has no clipboard change count, so one is kept here: every owner change the server reports (XFixes
// selection events) adds one, and so does each of our own writes — counted when we make it, so that the
// server's later report of that same change is recognised and not counted again.
class ClipboardChangeCount {
public:
    // An owner change as the server reports it: the new owner window (0 for none) and the selection's time.
    struct OwnerChange {
        unsigned long owner = 0;
        unsigned long selectionTime = 0;
        bool operator==(const OwnerChange&) const = default;
    };

    explicit ClipboardChangeCount(std::int64_t start = 0) : value_(start) {}

    std::int64_t value() const { return value_; }

    // Our own write took effect: counts it now and remembers it so its report is not counted again.
    std::int64_t recordOwnChange(OwnerChange change);

    // The server reported an owner change: counted unless it is the report of one of our own writes.
    void ownerChanged(OwnerChange change);

    // The owner's window or connection went away, leaving the clipboard empty: never one of our writes.
    void ownerGone() { ++value_; }

private:
    // Reports of our own writes arrive in order and soon; a few outstanding are plenty.
    static constexpr std::size_t maxAwaitedReports = 16;

    std::int64_t value_ = 0;
    std::deque<OwnerChange> awaited_;
};

} // namespace orvik::helper
