#pragma once

#include "orvik/protocol/messages/NormalizedRect.hpp"
#include "orvik/protocol/messages/ScreenMessages.hpp"

#include <cstdint>

namespace orvik::helper {

// The arithmetic that turns a display, a region and a viewer's limits into the encoded picture size, and that
// size into the encoder's starting bit rate. Pure; any input, however absurd, gives a size within the limits.
class ScreenGeometry {
public:
    static constexpr int maxDimension = 4096;
    static constexpr int minDimension = 160;
    // Bits per pixel per frame of the starting rate, and its bounds in bits per second.
    static constexpr double bitsPerPixel = 0.07;
    static constexpr double minBitRate = 2'000'000;
    static constexpr double maxBitRate = 40'000'000;

    struct Size {
        int width = 0;
        int height = 0;
        bool operator==(const Size&) const = default;
    };

    // The region's pixel size scaled down (never up) to fit the limits, each side even and at least 160.
    // Limits are first brought into 160…4096.
    static Size outputSize(const ScreenDisplay& display, const NormalizedRect& region, std::int64_t maxWidth,
                           std::int64_t maxHeight);
    // 0.07 bits per pixel per frame, within 2 and 40 Mbit/s.
    static int initialBitRate(int width, int height, int frameRate);
};

} // namespace orvik::helper
