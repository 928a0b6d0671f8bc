#include "screen/x11/BgrxToI420.hpp"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvik::helper {
namespace {

// BT.709 in 15-bit fixed point (so each fits a signed 16-bit lane), scaled to the limited ranges: 219 luma
// steps, 224 chroma steps.
constexpr int shift = 15;
constexpr int half = 1 << (shift - 1);
constexpr short yRed = 5983, yGreen = 20127, yBlue = 2032;
constexpr short uRed = -3298, uGreen = -11094, uBlue = 14392;
constexpr short vRed = 14392, vGreen = -13073, vBlue = -1319;
constexpr int lumaFloor = 16;
constexpr int chromaZero = 128;
// Chroma comes from the sums of four pixels: two more bits of shift take their mean.
constexpr int chromaShift = shift + 2;
constexpr int chromaHalf = 1 << (chromaShift - 1);

std::uint8_t luma(const std::uint8_t* pixel) {
    return static_cast<std::uint8_t>(((yRed * pixel[2] + yGreen * pixel[1] + yBlue * pixel[0] + half) >> shift) +
                                     lumaFloor);
}

std::uint8_t chroma(int red, int green, int blue, int redFactor, int greenFactor, int blueFactor) {
    return static_cast<std::uint8_t>(
        ((redFactor * red + greenFactor * green + blueFactor * blue + chromaHalf) >> chromaShift) + chromaZero);
}

struct Rows {
    const std::uint8_t* top;
    const std::uint8_t* bottom;
    std::uint8_t* lumaTop;
    std::uint8_t* lumaBottom;
    std::uint8_t* cb;
    std::uint8_t* cr;
};

// Two rows from `column` on, two pixels at a time.
void convertScalar(const Rows& rows, int column, int width) {
    for (; column < width; column += 2) {
        const std::uint8_t* a = rows.top + column * 4;
        const std::uint8_t* b = rows.bottom + column * 4;
        rows.lumaTop[column] = luma(a);
        rows.lumaTop[column + 1] = luma(a + 4);
        rows.lumaBottom[column] = luma(b);
        rows.lumaBottom[column + 1] = luma(b + 4);
        const int blue = a[0] + a[4] + b[0] + b[4];
        const int green = a[1] + a[5] + b[1] + b[5];
        const int red = a[2] + a[6] + b[2] + b[6];
        rows.cb[column / 2] = chroma(red, green, blue, uRed, uGreen, uBlue);
        rows.cr[column / 2] = chroma(red, green, blue, vRed, vGreen, vBlue);
    }
}

#if defined(__SSE2__)
constexpr int simdPixels = 8;

// [a0 + a1, a2 + a3, b0 + b1, b2 + b3] of two vectors of 32-bit lanes.
__m128i pairSums(__m128i a, __m128i b) {
    const __m128 first = _mm_castsi128_ps(a);
    const __m128 second = _mm_castsi128_ps(b);
    const __m128i evens = _mm_castps_si128(_mm_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i odds = _mm_castps_si128(_mm_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1)));
    return _mm_add_epi32(evens, odds);
}

// The weighted sums of four BGRX pixels held as two vectors of two 16-bit pixels each.
__m128i weigh(__m128i twoPixels, __m128i otherTwo, __m128i factors) {
    return pairSums(_mm_madd_epi16(twoPixels, factors), _mm_madd_epi16(otherTwo, factors));
}

// Luma of eight pixels (two loads of four), as eight 16-bit lanes.
__m128i luma8(__m128i first, __m128i second, __m128i factors) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i rounding = _mm_set1_epi32(half);
    const __m128i low = _mm_srai_epi32(
        _mm_add_epi32(weigh(_mm_unpacklo_epi8(first, zero), _mm_unpackhi_epi8(first, zero), factors), rounding), shift);
    const __m128i high = _mm_srai_epi32(
        _mm_add_epi32(weigh(_mm_unpacklo_epi8(second, zero), _mm_unpackhi_epi8(second, zero), factors), rounding),
        shift);
    return _mm_add_epi16(_mm_packs_epi32(low, high), _mm_set1_epi16(lumaFloor));
}

// The B, G, R, X sums of the two 2×2 blocks in four pixels of each row, as one vector of two 16-bit pixels.
__m128i blockSums(__m128i top, __m128i bottom) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_add_epi16(_mm_unpacklo_epi8(top, zero), _mm_unpacklo_epi8(bottom, zero));
    const __m128i high = _mm_add_epi16(_mm_unpackhi_epi8(top, zero), _mm_unpackhi_epi8(bottom, zero));
    const __m128i first = _mm_add_epi16(low, _mm_srli_si128(low, 8));
    const __m128i second = _mm_add_epi16(high, _mm_srli_si128(high, 8));
    return _mm_unpacklo_epi64(first, second);
}

void storeChroma(__m128i blocks01, __m128i blocks23, __m128i factors, std::uint8_t* target) {
    const __m128i sums = _mm_add_epi32(weigh(blocks01, blocks23, factors), _mm_set1_epi32(chromaHalf));
    const __m128i values = _mm_add_epi32(_mm_srai_epi32(sums, chromaShift), _mm_set1_epi32(chromaZero));
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(values, values), _mm_setzero_si128());
    const int four = _mm_cvtsi128_si32(bytes);
    std::memcpy(target, &four, sizeof four);
}

int convertSimd(const Rows& rows, int width) {
    const __m128i lumaFactors = _mm_setr_epi16(yBlue, yGreen, yRed, 0, yBlue, yGreen, yRed, 0);
    const __m128i cbFactors = _mm_setr_epi16(uBlue, uGreen, uRed, 0, uBlue, uGreen, uRed, 0);
    const __m128i crFactors = _mm_setr_epi16(vBlue, vGreen, vRed, 0, vBlue, vGreen, vRed, 0);
    int column = 0;
    for (; column + simdPixels <= width; column += simdPixels) {
        const auto* top = reinterpret_cast<const __m128i*>(rows.top + column * 4);
        const auto* bottom = reinterpret_cast<const __m128i*>(rows.bottom + column * 4);
        const __m128i top0 = _mm_loadu_si128(top);
        const __m128i top1 = _mm_loadu_si128(top + 1);
        const __m128i bottom0 = _mm_loadu_si128(bottom);
        const __m128i bottom1 = _mm_loadu_si128(bottom + 1);
        const __m128i lumas = _mm_packus_epi16(luma8(top0, top1, lumaFactors), luma8(bottom0, bottom1, lumaFactors));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(rows.lumaTop + column), lumas);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(rows.lumaBottom + column), _mm_srli_si128(lumas, 8));
        const __m128i blocks01 = blockSums(top0, bottom0);
        const __m128i blocks23 = blockSums(top1, bottom1);
        storeChroma(blocks01, blocks23, cbFactors, rows.cb + column / 2);
        storeChroma(blocks01, blocks23, crFactors, rows.cr + column / 2);
    }
    return column;
}
#else
int convertSimd(const Rows&, int) {
    return 0;
}
#endif

} // namespace

void BgrxToI420::convert(const std::uint8_t* bgrx, int stride, int width, int firstRow, int endRow, PixelBuffer& target,
                         int x, int y) {
    const auto lumaStride = static_cast<std::ptrdiff_t>(target.stride(0));
    for (int row = firstRow; row < endRow; row += 2) {
        const std::uint8_t* top = bgrx + static_cast<std::ptrdiff_t>(row) * stride;
        std::uint8_t* lumaTop = target.plane(0) + (y + row) * lumaStride + x;
        const auto chromaRow = static_cast<std::size_t>((y + row) / 2);
        const Rows rows{top,
                        top + stride,
                        lumaTop,
                        lumaTop + lumaStride,
                        target.plane(1) + chromaRow * target.stride(1) + x / 2,
                        target.plane(2) + chromaRow * target.stride(2) + x / 2};
        convertScalar(rows, convertSimd(rows, width), width);
    }
}

} // namespace orvik::helper
