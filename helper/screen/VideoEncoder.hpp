#pragma once

#include "orvik/protocol/coding/Bytes.hpp"
#include "orvik/protocol/messages/ScreenMessages.hpp"
#include "screen/ScreenCaptureSource.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace orvik::helper {

// One encoded picture: NAL units each preceded by a 4-byte big-endian length (no start codes, no parameter
// sets), with every parameter set of its format (VPS for HEVC, SPS, PPS), each without a length field.
struct EncodedVideo {
    bool isKeyframe = false;
    std::uint64_t captureTime = 0;
    Bytes data;
    std::vector<Bytes> parameterSets;
};

// What an encoder is made for.
struct EncoderSettings {
    ScreenCodec codec = ScreenCodec::h264;
    int width = 0;
    int height = 0;
    int frameRate = 30;
    int bitRate = 0;
};

// Turns captured pictures into H.264 or HEVC for live viewing: no frame reordering, a bit rate that changes while
// running, keyframes on demand. Every submitted picture yields exactly one call of the output, later and from the
// encoder's own thread (absent: the picture failed or was dropped) until `invalidate`; after it, nothing.
class VideoEncoder {
public:
    using Output = std::function<void(std::optional<EncodedVideo>)>;
    // Makes an encoder, or nothing when it cannot be made.
    using Factory = std::function<std::shared_ptr<VideoEncoder>(const EncoderSettings&, Output)>;

    virtual ~VideoEncoder() = default;

    virtual const EncoderSettings& settings() const = 0;
    // Thread-safe; may be called from inside the output.
    virtual void encode(CapturedFrame frame, bool forceKeyframe) = 0;
    // Takes effect from the next picture the encoder starts. Thread-safe.
    virtual void setBitRate(int bitRate) = 0;
    // Ends the encoder: pictures not yet started are dropped without output. Only the first call acts.
    virtual void invalidate() = 0;
};

} // namespace orvik::helper
