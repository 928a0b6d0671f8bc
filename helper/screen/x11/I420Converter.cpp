#include "screen/x11/I420Converter.hpp"

#include "core/Log.hpp"
#include "screen/x11/BgrxToI420.hpp"
#include "screen/x11/CaptureGeometry.hpp"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cstring>

namespace orvik::helper {
namespace {

constexpr std::uint8_t blackLuma = 16;
constexpr std::uint8_t neutralChroma = 128;

void noRelease(void*, std::uint8_t*) {}

} // namespace

I420Converter::I420Converter(int sourceWidth, int sourceHeight, int outputWidth, int outputHeight)
    : sourceWidth_(sourceWidth / 2 * 2), sourceHeight_(sourceHeight / 2 * 2),
      picture_(CaptureGeometry::fitted(sourceWidth, sourceHeight, outputWidth, outputHeight)),
      unscaled_(picture_.width == sourceWidth && picture_.height == sourceHeight) {
    if (unscaled_) return;
    SwsContext* context = sws_alloc_context();
    if (!context) return;
    av_opt_set_int(context, "srcw", sourceWidth_, 0);
    av_opt_set_int(context, "srch", sourceHeight_, 0);
    av_opt_set_int(context, "src_format", AV_PIX_FMT_YUV420P, 0);
    av_opt_set_int(context, "dstw", picture_.width, 0);
    av_opt_set_int(context, "dsth", picture_.height, 0);
    av_opt_set_int(context, "dst_format", AV_PIX_FMT_YUV420P, 0);
    av_opt_set_int(context, "sws_flags", SWS_BILINEAR, 0);
    av_opt_set_int(context, "threads", threadCount, 0);
    if (sws_init_context(context, nullptr, nullptr) < 0) {
        sws_freeContext(context);
        Log::error("Screen", "Converter failed");
        return;
    }
    context_ = context;
    staging_ = std::make_unique<PixelBuffer>(sourceWidth_, sourceHeight_);
    static std::uint8_t nothing = 0;
    borrowed_ = av_buffer_create(&nothing, 1, &noRelease, nullptr, 0);
    source_ = av_frame_alloc();
    target_ = av_frame_alloc();
}

I420Converter::~I420Converter() {
    for (AVFrame* frame : {source_, target_}) {
        if (!frame) continue;
        frame->buf[0] = nullptr; // borrowed, released below
        av_frame_free(&frame);
    }
    av_buffer_unref(&borrowed_);
    sws_freeContext(context_);
}

bool I420Converter::convert(const std::uint8_t* bgrx, int stride, PixelBuffer& target) {
    paintBars(target);
    if (unscaled_) {
        BgrxToI420::convert(bgrx, stride, sourceWidth_, 0, sourceHeight_, target, picture_.x, picture_.y);
        return true;
    }
    if (!context_ || !borrowed_ || !source_ || !target_) return false;
    // Colour first, at the source's size (an odd last row or column is left out), then swscale's planar scaler.
    BgrxToI420::convert(bgrx, stride, sourceWidth_, 0, sourceHeight_, *staging_, 0, 0);
    describe(*source_, *staging_, {0, 0, sourceWidth_, sourceHeight_});
    describe(*target_, target, picture_);
    return sws_scale_frame(context_, target_, source_) >= 0;
}

// Points `frame` at the `rect` part of `buffer`.
void I420Converter::describe(AVFrame& frame, PixelBuffer& buffer, const PixelRect& rect) const {
    frame.format = AV_PIX_FMT_YUV420P;
    frame.width = rect.width;
    frame.height = rect.height;
    for (std::size_t plane = 0; plane < 3; ++plane) {
        const auto scale = plane == 0 ? 1 : 2;
        const auto offset =
            static_cast<std::size_t>(rect.y / scale) * buffer.stride(plane) + static_cast<std::size_t>(rect.x / scale);
        frame.data[plane] = buffer.plane(plane) + offset;
        frame.linesize[plane] = static_cast<int>(buffer.stride(plane));
    }
    frame.buf[0] = borrowed_;
}

// Black luma and neutral chroma outside the picture; each row of the picture is the scaler's.
void I420Converter::paintBars(PixelBuffer& target) const {
    if (picture_.x == 0 && picture_.y == 0 && picture_.width == target.width() && picture_.height == target.height()) {
        return;
    }
    for (std::size_t plane = 0; plane < 3; ++plane) {
        const int scale = plane == 0 ? 1 : 2;
        const std::uint8_t value = plane == 0 ? blackLuma : neutralChroma;
        const auto width = static_cast<std::size_t>(target.width() / scale);
        const int top = picture_.y / scale;
        const int bottom = (picture_.y + picture_.height) / scale;
        const auto left = static_cast<std::size_t>(picture_.x / scale);
        const auto right = static_cast<std::size_t>((picture_.x + picture_.width) / scale);
        for (std::size_t row = 0; row < target.planeRows(plane); ++row) {
            std::uint8_t* line = target.plane(plane) + row * target.stride(plane);
            const auto index = static_cast<int>(row);
            if (index < top || index >= bottom) {
                std::memset(line, value, width);
            } else {
                std::memset(line, value, left);
                std::memset(line + right, value, width - right);
            }
        }
    }
}

} // namespace orvik::helper
