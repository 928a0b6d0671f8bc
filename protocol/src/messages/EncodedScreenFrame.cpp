#include "orvik/protocol/messages/EncodedScreenFrame.hpp"

#include <algorithm>

namespace orvik {

std::optional<std::vector<ScreenFrame>> EncodedScreenFrame::fragments() const {
    if (data.empty() || data.size() > maxBytes) return std::nullopt;
    const auto chunk = ScreenFrame::maxFragmentData;
    const auto count = (data.size() + chunk - 1) / chunk;
    std::vector<ScreenFrame> result;
    result.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        auto begin = data.begin() + static_cast<std::ptrdiff_t>(index * chunk);
        auto end = data.begin() + static_cast<std::ptrdiff_t>(std::min((index + 1) * chunk, data.size()));
        ScreenFrame fragment;
        fragment.sequence = sequence;
        fragment.isKeyframe = isKeyframe;
        fragment.fragmentIndex = static_cast<std::uint16_t>(index);
        fragment.fragmentCount = static_cast<std::uint16_t>(count);
        fragment.captureTime = captureTime;
        fragment.data.assign(begin, end);
        result.push_back(std::move(fragment));
    }
    return result;
}

} // namespace orvik
