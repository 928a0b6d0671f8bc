#pragma once

#include <vector>

namespace orvik::helper {

// The stacking order of the root window's children, bottom to top, as the server last listed it and its
// structure events told since: which windows are above one of ours, and so may hide part of it. Ids are X
// window ids (0 is None).
class WindowStack {
public:
    using Id = unsigned long;

    void reset(std::vector<Id> bottomToTop) { order_ = std::move(bottomToTop); }
    // Directly above `sibling`; at the bottom when `sibling` is 0 or unknown. Where a ConfigureNotify puts it.
    void placeAbove(Id window, Id sibling);
    // On top: created, reparented to the root, or circulated up.
    void raise(Id window);
    void lower(Id window);
    void remove(Id window);
    // The windows stacked above `window`, bottom to top; none when it is unknown.
    std::vector<Id> above(Id window) const;

private:
    std::vector<Id> order_;
};

} // namespace orvik::helper
