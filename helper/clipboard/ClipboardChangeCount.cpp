#include "clipboard/ClipboardChangeCount.hpp"

#include <algorithm>

namespace orvik::helper {

std::int64_t ClipboardChangeCount::recordOwnChange(OwnerChange change) {
    if (awaited_.size() == maxAwaitedReports) awaited_.pop_front();
    awaited_.push_back(change);
    return ++value_;
}

void ClipboardChangeCount::ownerChanged(OwnerChange change) {
    auto found = std::find(awaited_.begin(), awaited_.end(), change);
    if (found != awaited_.end()) {
        // Reports older than this one will never come: the server reports every change, in order.
        awaited_.erase(awaited_.begin(), found + 1);
        return;
    }
    ++value_;
}

} // namespace orvik::helper
