#include "screen/x11/BgrxToI420.hpp"

namespace orvik::helper {
namespace {

// BT.709 in 16-bit fixed point, scaled to the limited ranges (219 luma steps, 224 chroma steps).
constexpr int shift = 16;
constexpr int half = 1 << (shift - 1);
constexpr int yRed = 11966, yGreen = 40254, yBlue = 4064;
constexpr int uRed = -6596, uGreen = -22188, uBlue = 28784;
constexpr int vRed = 28784, vGreen = -26145, vBlue = -2639;
constexpr int lumaFloor = 16;
constexpr int chromaZero = 128;

std::uint8_t luma(int blue, int green, int red) {
    return static_cast<std::uint8_t>(((yRed * red + yGreen * green + yBlue * blue + half) >> shift) + lumaFloor);
}

} // namespace

void BgrxToI420::convert(const std::uint8_t* bgrx, int stride, int width, int firstRow, int endRow, PixelBuffer& target,
                         int x, int y) {
    const auto lumaStride = static_cast<std::ptrdiff_t>(target.stride(0));
    for (int row = firstRow; row < endRow; row += 2) {
        const std::uint8_t* top = bgrx + static_cast<std::ptrdiff_t>(row) * stride;
        const std::uint8_t* bottom = top + stride;
        std::uint8_t* lumaTop = target.plane(0) + (y + row) * lumaStride + x;
        std::uint8_t* lumaBottom = lumaTop + lumaStride;
        const auto chromaRow = static_cast<std::size_t>((y + row) / 2);
        std::uint8_t* cb = target.plane(1) + chromaRow * target.stride(1) + x / 2;
        std::uint8_t* cr = target.plane(2) + chromaRow * target.stride(2) + x / 2;
        for (int column = 0; column < width; column += 2) {
            const std::uint8_t* a = top + column * 4;
            const std::uint8_t* b = bottom + column * 4;
            lumaTop[column] = luma(a[0], a[1], a[2]);
            lumaTop[column + 1] = luma(a[4], a[5], a[6]);
            lumaBottom[column] = luma(b[0], b[1], b[2]);
            lumaBottom[column + 1] = luma(b[4], b[5], b[6]);
            const int blue = a[0] + a[4] + b[0] + b[4];
            const int green = a[1] + a[5] + b[1] + b[5];
            const int red = a[2] + a[6] + b[2] + b[6];
            // The sums are four pixels: two more bits of shift take the mean.
            cb[column / 2] = static_cast<std::uint8_t>(
                ((uRed * red + uGreen * green + uBlue * blue + (half << 2)) >> (shift + 2)) + chromaZero);
            cr[column / 2] = static_cast<std::uint8_t>(
                ((vRed * red + vGreen * green + vBlue * blue + (half << 2)) >> (shift + 2)) + chromaZero);
        }
    }
}

} // namespace orvik::helper
