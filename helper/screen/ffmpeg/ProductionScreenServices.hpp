#pragma once

#include "screen/ScreenServices.hpp"
#include "screen/ffmpeg/FfmpegVideoEncoder.hpp"

#include <memory>

namespace orvik::helper {

// What the production screen services are built from: the platform's capture (its permission check and its
// sources), the question to the local user, and the encoder's settings.
struct ScreenServicesParts {
    ScreenServices::CanCapture canCapture;
    ScreenServices::MakeSource makeSource;
    ScreenServices::Approve approve;
    // HEVC is offered only when asked for here and libx265 opens (see FfmpegVideoEncoder::supports).
    bool allowHevc = false;
    FfmpegVideoEncoder::Options encoder;
};

// The screen services of a running helper: streams are EncodingScreenStreams over the FFmpeg encoder on the
// uptime clock; the codecs are probed once, here.
std::shared_ptr<const ScreenServices> makeScreenServices(ScreenServicesParts parts);

} // namespace orvik::helper
