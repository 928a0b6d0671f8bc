#pragma once

#include "platform/DisplayIdentifiers.hpp"

#include <vector>

namespace orvik::helper {

// What other windows hid of ours in the last picture looked at, for as long as neither has moved, restacked or
// gone since: those parts never showed ours, so they need no black while ours shows, nor once it has left. Ids
// are X window ids.
class HiddenParts {
public:
    using Id = unsigned long;

    void clear() { parts_.clear(); }
    void add(Id ours, Id by, const PixelRect& part) { parts_.push_back({ours, by, part}); }
    // `window` moved, restacked or went: what it hid may show ours now.
    void forgetBy(Id window);
    // Ours moved, restacked or went: what hid it there tells nothing of where it is now.
    void forgetOf(Id ours);
    std::vector<PixelRect> of(Id ours) const;
    // What is left of `place` (where ours is) outside the parts hidden of it.
    std::vector<PixelRect> shownOf(Id ours, const PixelRect& place) const;

private:
    struct Part {
        Id ours;
        Id by;
        PixelRect rect;
    };
    std::vector<Part> parts_;
};

} // namespace orvik::helper
