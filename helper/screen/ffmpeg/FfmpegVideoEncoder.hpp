#pragma once

#include "screen/VideoEncoder.hpp"

#include <memory>
#include <string>

namespace orvik::helper {

// How the FFmpeg encoder trades speed for quality.
struct FfmpegEncoderOptions {
    // libx264/libx265 preset.
    std::string preset = "ultrafast";
    // Encoder threads; 0 lets the library choose.
    int threads = 0;
};

// The video encoder over FFmpeg's libavcodec: libx264 for H.264, libx265 for HEVC. Live settings throughout:
// zero latency (no B-frames, no look-ahead: the stream's window of three frames would stall an encoder that
// holds pictures back), IDR pictures on request, parameter sets out of band (global header), BT.709 limited range
// signalled in the SPS. The bit rate is `bit_rate` = b with `rc_max_rate` = `rc_buffer_size` = 1.5 b, written
// on the encoder's thread before the next picture; libx265 cannot change it live, so an HEVC encoder reopens at
// the next picture instead (a keyframe), at most once a second.
//
// Threading: one thread of its own ("orvik-encoder") takes pictures from a FIFO and calls the output; `encode`,
// `setBitRate` and `invalidate` may come from any thread, the output's own included. The thread owns the codec
// context; destroying the encoder (even from its own output) never blocks on a picture in progress.
class FfmpegVideoEncoder final : public VideoEncoder {
public:
    using Options = FfmpegEncoderOptions;

    // An encoder, or nothing when the codec cannot be opened with these settings.
    static std::shared_ptr<VideoEncoder> make(const EncoderSettings& settings, Output output, Options options);
    static std::shared_ptr<VideoEncoder> make(const EncoderSettings& settings, Output output) {
        return make(settings, std::move(output), Options{});
    }
    static Factory factory(Options options = {});

    // Whether an encoder for the codec opens here. HEVC only when `allowHevc`: libx265 neither keeps up at high
    // resolutions on a small machine nor changes its rate live, so it is an opt-in.
    static bool supports(ScreenCodec codec, bool allowHevc = false);

    ~FfmpegVideoEncoder() override;

    // The destructor ends the worker: a copy would end it under the original.
    FfmpegVideoEncoder(const FfmpegVideoEncoder&) = delete;
    FfmpegVideoEncoder& operator=(const FfmpegVideoEncoder&) = delete;

    const EncoderSettings& settings() const override { return settings_; }
    void encode(CapturedFrame frame, bool forceKeyframe) override;
    void setBitRate(int bitRate) override;
    void invalidate() override;

    class Worker;

private:
    FfmpegVideoEncoder(EncoderSettings settings, std::shared_ptr<Worker> worker);

    EncoderSettings settings_;
    std::shared_ptr<Worker> worker_;
};

} // namespace orvik::helper
