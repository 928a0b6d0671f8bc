#include "screen/x11/HiddenParts.hpp"

#include "screen/x11/PixelRectMath.hpp"

namespace orvik::helper {

void HiddenParts::forgetBy(Id window) {
    std::erase_if(parts_, [window](const Part& part) { return part.by == window; });
}

void HiddenParts::forgetOf(Id ours) {
    std::erase_if(parts_, [ours](const Part& part) { return part.ours == ours; });
}

std::vector<PixelRect> HiddenParts::of(Id ours) const {
    std::vector<PixelRect> result;
    for (const auto& part : parts_) {
        if (part.ours == ours) result.push_back(part.rect);
    }
    return result;
}

std::vector<PixelRect> HiddenParts::shownOf(Id ours, const PixelRect& place) const {
    return without(place, of(ours));
}

} // namespace orvik::helper
