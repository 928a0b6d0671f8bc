#pragma once

#include "StageTimes.hpp"

#include "orvik/protocol/messages/ScreenMessages.hpp"
#include "screen/ScreenCaptureSource.hpp"
#include "screen/ffmpeg/FfmpegVideoEncoder.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace orvik::bench {

// What the viewer received: complete frames, their bytes, over how long (from the first frame), and the stream's
// bit rate at the end.
struct LoopbackFigures {
    std::size_t frames = 0;
    std::uint64_t bytes = 0;
    double seconds = 0;
    int bitRate = 0;
};

// A real helper server on loopback (in-memory stores, one paired device, screen viewing over sources from
// `makeSource` with the production encoder and these options) and a phone in this process that authenticates over TLS,
// views the main display and acknowledges each frame as soon as it is whole. Records "capture→received" (the
// frame's capture to its last fragment read by the phone) in `times`. Throws when the session fails.
LoopbackFigures viewOverLoopback(std::function<std::shared_ptr<helper::ScreenCaptureSource>()> makeSource,
                                 helper::FfmpegEncoderOptions encoder, ScreenSettings settings,
                                 std::chrono::seconds duration, StageTimes& times);

} // namespace orvik::bench
