#include "screen/ffmpeg/ProductionScreenServices.hpp"

#include "screen/EncodingScreenStream.hpp"

namespace orvik::helper {

std::shared_ptr<const ScreenServices> makeScreenServices(ScreenServicesParts parts) {
    auto services = std::make_shared<ScreenServices>();
    services->canCapture = std::move(parts.canCapture);
    services->makeSource = std::move(parts.makeSource);
    services->approve = std::move(parts.approve);
    if (FfmpegVideoEncoder::supports(ScreenCodec::hevc, parts.allowHevc)) services->codecs.push_back(ScreenCodec::hevc);
    services->codecs.push_back(ScreenCodec::h264);
    services->makeStream = [factory = FfmpegVideoEncoder::factory(parts.encoder)](
                               std::shared_ptr<ScreenCaptureSource> source, ScreenStream::Send send,
                               ScreenStream::FailureHandler onFailure) -> std::shared_ptr<ScreenStream> {
        return EncodingScreenStream::make(std::move(source), std::move(send), std::move(onFailure), factory);
    };
    return services;
}

} // namespace orvik::helper
