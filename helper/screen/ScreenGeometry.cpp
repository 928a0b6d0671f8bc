#include "screen/ScreenGeometry.hpp"

#include <algorithm>
#include <cmath>

namespace orvik::helper {

namespace {

double limit(std::int64_t requested) {
    return static_cast<double>(
        std::clamp<std::int64_t>(requested, ScreenGeometry::minDimension, ScreenGeometry::maxDimension));
}

// Half the scaled side rounded half away from zero, doubled: an even side, at least the minimum.
int evenSide(double side, double scale) {
    const double half = std::round(side * scale / 2.0);
    const double clamped = std::min(half * 2.0, static_cast<double>(ScreenGeometry::maxDimension));
    return std::max(static_cast<int>(clamped), ScreenGeometry::minDimension);
}

} // namespace

ScreenGeometry::Size ScreenGeometry::outputSize(const ScreenDisplay& display, const NormalizedRect& region,
                                                std::int64_t maxWidth, std::int64_t maxHeight) {
    // NaN regions come out as 1 pixel; a region is clamped before it gets here.
    const double regionWidth = std::fmax(static_cast<double>(display.pixelWidth) * region.width, 1.0);
    const double regionHeight = std::fmax(static_cast<double>(display.pixelHeight) * region.height, 1.0);
    const double scale = std::min({1.0, limit(maxWidth) / regionWidth, limit(maxHeight) / regionHeight});
    return {evenSide(regionWidth, scale), evenSide(regionHeight, scale)};
}

int ScreenGeometry::initialBitRate(int width, int height, int frameRate) {
    const auto pixels = static_cast<std::int64_t>(width) * height * frameRate;
    return static_cast<int>(std::clamp(static_cast<double>(pixels) * bitsPerPixel, minBitRate, maxBitRate));
}

} // namespace orvik::helper
