#include "screen/x11/CaptureGeometry.hpp"

#include <algorithm>
#include <cmath>

namespace orvik::helper {
namespace {

constexpr int smallestSide = 2;

int evenNearest(double value) {
    return 2 * static_cast<int>(std::lround(value / 2.0));
}

} // namespace

std::optional<PixelRect> CaptureGeometry::onRoot(const PixelRect& monitor, int rootWidth, int rootHeight) {
    const int left = std::max(monitor.x, 0);
    const int top = std::max(monitor.y, 0);
    const int right = std::min(monitor.x + monitor.width, rootWidth);
    const int bottom = std::min(monitor.y + monitor.height, rootHeight);
    if (right - left < smallestSide || bottom - top < smallestSide) return std::nullopt;
    return PixelRect{left, top, right - left, bottom - top};
}

PixelRect CaptureGeometry::sourceRect(const PixelRect& monitor, const NormalizedRect& region) {
    const auto clamped = region.clamped();
    const double width = monitor.width;
    const double height = monitor.height;
    int left = static_cast<int>(std::lround(clamped.x * width));
    int top = static_cast<int>(std::lround(clamped.y * height));
    int right = static_cast<int>(std::lround((clamped.x + clamped.width) * width));
    int bottom = static_cast<int>(std::lround((clamped.y + clamped.height) * height));
    const int columns = std::clamp(right - left, smallestSide, std::max(monitor.width, smallestSide));
    const int rows = std::clamp(bottom - top, smallestSide, std::max(monitor.height, smallestSide));
    left = std::clamp(left, 0, std::max(monitor.width - columns, 0));
    top = std::clamp(top, 0, std::max(monitor.height - rows, 0));
    return {monitor.x + left, monitor.y + top, columns, rows};
}

PixelRect CaptureGeometry::fitted(int sourceWidth, int sourceHeight, int outputWidth, int outputHeight) {
    if (sourceWidth < 1 || sourceHeight < 1) return {0, 0, outputWidth, outputHeight};
    // Never scaled up: a picture smaller than the output (a thin region, a screen whose resolution went down
    // while it was viewed) is shown at its own size.
    const double scale = std::min(
        {1.0, static_cast<double>(outputWidth) / sourceWidth, static_cast<double>(outputHeight) / sourceHeight});
    const int width = std::clamp(evenNearest(sourceWidth * scale), smallestSide, outputWidth);
    const int height = std::clamp(evenNearest(sourceHeight * scale), smallestSide, outputHeight);
    const int x = (outputWidth - width) / 2 / 2 * 2;
    const int y = (outputHeight - height) / 2 / 2 * 2;
    return {x, y, width, height};
}

} // namespace orvik::helper
