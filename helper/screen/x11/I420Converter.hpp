#pragma once

#include "platform/DisplayIdentifiers.hpp"
#include "screen/PixelBuffer.hpp"

#include <cstdint>
#include <memory>

struct SwsContext;
struct AVFrame;
struct AVBufferRef;

namespace orvik::helper {

// Turns BGRX pictures of one size into I420 pixel buffers of another (BT.709, limited range), scaled with the
// aspect kept and the rest of the frame black. The colour conversion is always BgrxToI420's; a picture that
// changes size is converted at its own size first and then scaled by swscale (planar to planar, its fastest
// path), sliced over `threadCount` threads. One converter per capture size; used on one thread at a time.
class I420Converter {
public:
    static constexpr int threadCount = 2;

    I420Converter(int sourceWidth, int sourceHeight, int outputWidth, int outputHeight);
    ~I420Converter();
    I420Converter(const I420Converter&) = delete;
    I420Converter& operator=(const I420Converter&) = delete;

    bool valid() const { return unscaled_ || context_ != nullptr; }
    // Where the picture lands in the output; outside it the frame is black.
    const PixelRect& picture() const { return picture_; }

    // Converts `bgrx` (sourceWidth×sourceHeight, `stride` bytes a row) into `target` (outputWidth×outputHeight).
    bool convert(const std::uint8_t* bgrx, int stride, PixelBuffer& target);

private:
    void paintBars(PixelBuffer& target) const;
    void describe(AVFrame& frame, PixelBuffer& buffer, const PixelRect& rect) const;

    int sourceWidth_;
    int sourceHeight_;
    PixelRect picture_;
    bool unscaled_;                        // same size: our own kernel; else swscale
    std::unique_ptr<PixelBuffer> staging_; // the picture at the source's size, before scaling
    SwsContext* context_ = nullptr;
    AVFrame* source_ = nullptr;
    AVFrame* target_ = nullptr;
    // swscale's frame interface wants reference-counted frames; ours are borrowed, so both frames point at this
    // empty buffer, which frees nothing.
    AVBufferRef* borrowed_ = nullptr;
};

} // namespace orvik::helper
