#pragma once

#include "screen/BitRateAdapter.hpp"
#include "screen/ScreenClock.hpp"
#include "screen/ScreenStream.hpp"
#include "screen/VideoEncoder.hpp"

#include <memory>
#include <mutex>
#include <optional>

namespace orvik::helper {

// One viewer's pipeline: pictures from its capture source go to one encoder at a time; encoded pictures go to
// the viewer as a screenFormat when the format changes, then as screenFrame fragments. The viewer's acks drive a
// window of three frames in flight (beyond it only the newest picture waits), measure latency and steer the bit
// rate; the viewer may ask for a keyframe (honoured at most every 0.5 s).
//
// Threading: control calls and acks come from the server's thread, pictures from the source's thread, encoded
// output from the encoder's thread. One mutex guards the state and is never held while calling the encoder, the
// source, `send` or `onFailure`. A second mutex keeps each frame's messages together: two encoders' output never
// interleaves on the wire. Callbacks given to the source and the encoder hold the stream weakly.
class EncodingScreenStream final : public ScreenStream, public std::enable_shared_from_this<EncodingScreenStream> {
public:
    // Frames handed to the encoder and not yet acknowledged.
    static constexpr int window = 3;
    // The shortest spacing of honoured keyframe requests, ns.
    static constexpr std::uint64_t keyframeInterval = 500'000'000;

    // `lastSequence`: the number before the first frame's (tests start near the wrap).
    static std::shared_ptr<EncodingScreenStream> make(std::shared_ptr<ScreenCaptureSource> source, Send send,
                                                      FailureHandler onFailure, VideoEncoder::Factory makeEncoder,
                                                      ScreenClock now = uptimeNanoseconds,
                                                      std::uint32_t lastSequence = 0);

    void start(Target target, StartCompletion done) override;
    void pause(Completion done) override;
    void resume(StartCompletion done) override;
    void stop(Completion done) override;
    void ack(const ScreenFrameAck& ack) override;
    void requestKeyframe() override;
    std::optional<Target> target() const override;
    int currentBitRate() const override;

private:
    struct State {
        std::optional<Target> target;
        std::shared_ptr<VideoEncoder> encoder;
        bool isCapturing = false;
        bool isPaused = false;
        int inFlight = 0;
        std::optional<CapturedFrame> pending;
        // The last sequence number sent, and the first of the current encoder.
        std::uint32_t sequence = 0;
        std::uint32_t epochStart = 1;
        bool forceKeyframe = true;
        std::uint64_t lastKeyframe = 0;
        std::optional<ScreenFormat> sentFormat;
        BitRateAdapter rate;
        std::uint64_t generation = 0;
    };

    EncodingScreenStream(std::shared_ptr<ScreenCaptureSource> source, Send send, FailureHandler onFailure,
                         VideoEncoder::Factory makeEncoder, ScreenClock now, std::uint32_t lastSequence);

    // A fresh encoder for the target (keyframe first, format announced afresh, acks of older frames ignored);
    // the configuration to capture with, or nothing when no encoder could be made.
    std::optional<CaptureConfiguration> makeEncoder(const Target& target);
    void startCapture(const CaptureConfiguration& configuration, StartCompletion done);
    void stopCapture(Completion done);
    void captured(CapturedFrame frame);
    void encoded(std::optional<EncodedVideo> video, std::uint64_t generation);
    void drainPending();

    const std::shared_ptr<ScreenCaptureSource> source_;
    const Send send_;
    const FailureHandler onFailure_;
    const VideoEncoder::Factory encoderFactory_;
    const ScreenClock now_;

    mutable std::mutex mutex_;
    State state_;
    std::mutex sending_;
};

} // namespace orvik::helper
