#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace orvik::helper {

// One picture in planar 4:2:0 (I420: a full-size luma plane, then Cb and Cr at half width and half height),
// BT.709 limited range, as the video encoder takes it. The storage is allocated once, at construction; buffers
// are pooled and shared by reference (`std::shared_ptr`), so steady streaming allocates nothing per frame.
// Width and height are even. Rows are padded to a multiple of 64 bytes for SIMD converters.
class PixelBuffer {
public:
    static constexpr std::size_t rowAlignment = 64;

    PixelBuffer(int width, int height)
        : width_(width), height_(height), strides_{paddedRow(width), paddedRow(width / 2), paddedRow(width / 2)},
          storage_(new (std::align_val_t{rowAlignment}) std::uint8_t[byteCount()]) {
        std::uint8_t* plane = storage_.get();
        for (std::size_t index = 0; index < planes_.size(); ++index) {
            planes_[index] = plane;
            plane += strides_[index] * planeRows(index);
        }
    }

    int width() const { return width_; }
    int height() const { return height_; }
    // Plane 0 is luma (Y), 1 is Cb (U), 2 is Cr (V).
    std::uint8_t* plane(std::size_t index) { return planes_[index]; }
    const std::uint8_t* plane(std::size_t index) const { return planes_[index]; }
    std::size_t stride(std::size_t index) const { return strides_[index]; }
    std::size_t planeRows(std::size_t index) const {
        return static_cast<std::size_t>(index == 0 ? height_ : height_ / 2);
    }
    std::span<std::uint8_t> planeBytes(std::size_t index) {
        return {planes_[index], strides_[index] * planeRows(index)};
    }

private:
    struct AlignedDelete {
        void operator()(std::uint8_t* bytes) const { ::operator delete[](bytes, std::align_val_t{rowAlignment}); }
    };

    static std::size_t paddedRow(int bytes) {
        const auto size = static_cast<std::size_t>(bytes);
        return (size + rowAlignment - 1) / rowAlignment * rowAlignment;
    }
    std::size_t byteCount() const {
        return strides_[0] * planeRows(0) + strides_[1] * planeRows(1) + strides_[2] * planeRows(2);
    }

    int width_;
    int height_;
    std::array<std::size_t, 3> strides_;
    std::array<std::uint8_t*, 3> planes_{};
    std::unique_ptr<std::uint8_t[], AlignedDelete> storage_;
};

} // namespace orvik::helper
