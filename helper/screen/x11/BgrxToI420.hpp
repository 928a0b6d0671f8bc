#pragma once

#include "screen/PixelBuffer.hpp"

#include <cstdint>

namespace orvik::helper {

// The conversion of a picture that needs no scaling: BGRX to I420 at the same size, BT.709 limited range, each
// chroma sample the mean of its 2×2 pixels. Plain integer arithmetic the compiler vectorises; faster per frame
// than swscale's general path.
class BgrxToI420 {
public:
    // Converts rows [firstRow, endRow) (even) of a width×height picture into `target` at (x, y) (even).
    static void convert(const std::uint8_t* bgrx, int stride, int width, int firstRow, int endRow, PixelBuffer& target,
                        int x, int y);
};

} // namespace orvik::helper
