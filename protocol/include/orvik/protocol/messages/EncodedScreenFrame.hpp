#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/messages/ScreenFrame.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvik {

// One encoded video frame: NAL units, each preceded by its 4-byte big-endian length.
struct EncodedScreenFrame {
    std::uint32_t sequence = 0;
    bool isKeyframe = false;
    std::uint64_t captureTime = 0;
    Bytes data{};

    static constexpr std::size_t maxBytes = ScreenFrame::maxFragments * ScreenFrame::maxFragmentData;

    // The frame cut into ScreenFrame fragments of at most ScreenFrame::maxFragmentData bytes, in index order;
    // absent when the data is empty or longer than maxBytes.
    std::optional<std::vector<ScreenFrame>> fragments() const;

    bool operator==(const EncodedScreenFrame&) const = default;
};

} // namespace orvik
