#pragma once

#include "screen/VideoEncoder.hpp"

#include <memory>
#include <optional>
#include <string>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace orvik::helper {

// One opened libavcodec encoder (libx264 or libx265) and the work of turning a picture into an EncodedVideo.
// Not thread-safe: the encoder's thread alone uses it.
class CodecSession {
public:
    // Opened, or nothing when the codec is missing or refuses the settings.
    static std::unique_ptr<CodecSession> open(const EncoderSettings& settings, const std::string& preset, int threads);
    ~CodecSession();

    CodecSession(const CodecSession&) = delete;
    CodecSession& operator=(const CodecSession&) = delete;

    // libx264 takes a new rate between pictures; libx265 does not (the caller reopens).
    bool changesRateLive() const;
    void setBitRate(int bitRate);
    // One picture in, its packet out; absent when the picture does not fit or the codec fails.
    std::optional<EncodedVideo> encode(const CapturedFrame& frame, bool forceKeyframe);

private:
    CodecSession(const EncoderSettings& settings);
    std::optional<EncodedVideo> package(const AVPacket& packet, std::uint64_t captureTime) const;
    bool isParameterSet(std::span<const std::uint8_t> unit) const;
    bool isDropped(std::span<const std::uint8_t> unit) const;

    EncoderSettings settings_;
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::vector<Bytes> parameterSets_;
    std::int64_t nextPts_ = 0;
};

} // namespace orvik::helper
