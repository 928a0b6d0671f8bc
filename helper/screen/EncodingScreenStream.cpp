#include "screen/EncodingScreenStream.hpp"

#include "orvik/protocol/messages/EncodedScreenFrame.hpp"
#include "orvik/protocol/messages/ScreenFrameAssembler.hpp"
#include "screen/ScreenGeometry.hpp"

namespace orvik::helper {

namespace {

NormalizedRect regionOf(const ScreenStream::Target& target) {
    return target.settings.region ? target.settings.region->clamped() : NormalizedRect::full();
}

} // namespace

std::shared_ptr<EncodingScreenStream> EncodingScreenStream::make(std::shared_ptr<ScreenCaptureSource> source, Send send,
                                                                 FailureHandler onFailure,
                                                                 VideoEncoder::Factory makeEncoder, ScreenClock now,
                                                                 std::uint32_t lastSequence) {
    return std::shared_ptr<EncodingScreenStream>(new EncodingScreenStream(std::move(source), std::move(send),
                                                                          std::move(onFailure), std::move(makeEncoder),
                                                                          std::move(now), lastSequence));
}

EncodingScreenStream::EncodingScreenStream(std::shared_ptr<ScreenCaptureSource> source, Send send,
                                           FailureHandler onFailure, VideoEncoder::Factory makeEncoder, ScreenClock now,
                                           std::uint32_t lastSequence)
    : source_(std::move(source)), send_(std::move(send)), onFailure_(std::move(onFailure)),
      encoderFactory_(std::move(makeEncoder)), now_(std::move(now)) {
    state_.sequence = lastSequence;
}

std::optional<CaptureConfiguration> EncodingScreenStream::makeEncoder(const Target& target) {
    const auto region = regionOf(target);
    const auto size =
        ScreenGeometry::outputSize(target.display, region, target.settings.maxWidth, target.settings.maxHeight);
    const auto frameRate = static_cast<int>(ScreenSettings::frameRates.clamp(target.settings.frameRate));
    const int bitRate = ScreenGeometry::initialBitRate(size.width, size.height, frameRate);
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        generation = ++state_.generation;
    }
    auto output = [weak = weak_from_this(), generation](std::optional<EncodedVideo> video) {
        if (auto self = weak.lock()) self->encoded(std::move(video), generation);
    };
    const EncoderSettings settings{target.codec, size.width, size.height, frameRate, bitRate};
    auto encoder = encoderFactory_ ? encoderFactory_(settings, std::move(output)) : nullptr;
    if (!encoder) return std::nullopt;
    std::shared_ptr<VideoEncoder> old;
    {
        std::lock_guard lock(mutex_);
        old = std::exchange(state_.encoder, encoder);
        state_.target = target;
        state_.inFlight = 0;
        state_.pending.reset();
        state_.forceKeyframe = true;
        state_.sentFormat.reset();
        state_.epochStart = state_.sequence + 1;
        state_.rate.restart(bitRate);
    }
    if (old) old->invalidate();
    return CaptureConfiguration{target.display.id, size.width, size.height, frameRate, region};
}

void EncodingScreenStream::start(Target target, StartCompletion done) {
    std::optional<Target> previous;
    {
        std::lock_guard lock(mutex_);
        previous = state_.target;
    }
    auto configuration = makeEncoder(target);
    if (!configuration) {
        done(ScreenCaptureFailure::failed);
        return;
    }
    bool sameCapture = false;
    if (previous && previous->display.id == target.display.id) {
        std::lock_guard lock(mutex_);
        sameCapture = state_.isCapturing;
    }
    if (sameCapture) {
        source_->update(*configuration, std::move(done));
        return;
    }
    stopCapture([self = shared_from_this(), configuration = *configuration, done = std::move(done)]() mutable {
        bool paused = false;
        {
            std::lock_guard lock(self->mutex_);
            paused = self->state_.isPaused;
        }
        if (paused) {
            done(std::nullopt);
        } else {
            self->startCapture(configuration, std::move(done));
        }
    });
}

void EncodingScreenStream::pause(Completion done) {
    {
        std::lock_guard lock(mutex_);
        state_.isPaused = true;
    }
    stopCapture(std::move(done));
}

void EncodingScreenStream::resume(StartCompletion done) {
    std::optional<Target> target;
    {
        std::lock_guard lock(mutex_);
        state_.isPaused = false;
        target = state_.target;
    }
    if (!target) {
        done(std::nullopt);
        return;
    }
    auto configuration = makeEncoder(*target);
    if (!configuration) {
        done(ScreenCaptureFailure::failed);
        return;
    }
    startCapture(*configuration, std::move(done));
}

void EncodingScreenStream::stop(Completion done) {
    stopCapture([self = shared_from_this(), done = std::move(done)] {
        std::shared_ptr<VideoEncoder> encoder;
        {
            std::lock_guard lock(self->mutex_);
            encoder = std::exchange(self->state_.encoder, nullptr);
            self->state_.target.reset();
        }
        if (encoder) encoder->invalidate();
        done();
    });
}

void EncodingScreenStream::startCapture(const CaptureConfiguration& configuration, StartCompletion done) {
    {
        // Before the source is asked: pictures it delivers while still starting are taken.
        std::lock_guard lock(mutex_);
        state_.isCapturing = true;
    }
    auto onFrame = [weak = weak_from_this()](CapturedFrame frame) {
        if (auto self = weak.lock()) self->captured(std::move(frame));
    };
    auto onStop = [weak = weak_from_this()](ScreenCaptureFailure failure) {
        auto self = weak.lock();
        if (!self) return;
        {
            std::lock_guard lock(self->mutex_);
            self->state_.isCapturing = false;
        }
        if (self->onFailure_) self->onFailure_(failure);
    };
    auto started = [self = shared_from_this(), done = std::move(done)](std::optional<ScreenCaptureFailure> failure) {
        if (failure) {
            std::lock_guard lock(self->mutex_);
            self->state_.isCapturing = false;
        }
        done(failure);
    };
    source_->start(configuration, std::move(onFrame), std::move(onStop), std::move(started));
}

void EncodingScreenStream::stopCapture(Completion done) {
    bool wasCapturing = false;
    {
        std::lock_guard lock(mutex_);
        wasCapturing = std::exchange(state_.isCapturing, false);
        state_.pending.reset();
    }
    if (wasCapturing) {
        source_->stop(std::move(done));
    } else {
        done();
    }
}

void EncodingScreenStream::captured(CapturedFrame frame) {
    std::shared_ptr<VideoEncoder> encoder;
    bool force = false;
    {
        std::lock_guard lock(mutex_);
        if (!state_.isCapturing || !state_.encoder) return;
        if (state_.inFlight >= window) {
            // The newest picture wins; an older one waiting is released.
            state_.pending = std::move(frame);
            return;
        }
        ++state_.inFlight;
        force = std::exchange(state_.forceKeyframe, false);
        if (force) state_.lastKeyframe = now_();
        encoder = state_.encoder;
    }
    encoder->encode(std::move(frame), force);
}

void EncodingScreenStream::encoded(std::optional<EncodedVideo> video, std::uint64_t generation) {
    std::unique_lock sending(sending_);
    std::optional<ScreenFormat> announce;
    std::optional<EncodedScreenFrame> frame;
    {
        std::lock_guard lock(mutex_);
        // While paused nothing is sent, not even pictures the encoder still held: the viewer was told "paused"
        // and the resume brings a new encoder.
        const bool current = generation == state_.generation && state_.encoder && state_.target && !state_.isPaused;
        if (current && !video) state_.inFlight = std::max(0, state_.inFlight - 1);
        if (current && video) {
            const auto& settings = state_.encoder->settings();
            ScreenFormat format{settings.codec, settings.width, settings.height, std::move(video->parameterSets),
                                regionOf(*state_.target)};
            if (state_.sentFormat != format && !video->isKeyframe) {
                // A picture the viewer cannot decode with what it was told: the next one must be a keyframe.
                state_.inFlight = std::max(0, state_.inFlight - 1);
                state_.forceKeyframe = true;
            } else {
                if (state_.sentFormat != format) announce = state_.sentFormat = std::move(format);
                ++state_.sequence;
                frame =
                    EncodedScreenFrame{state_.sequence, video->isKeyframe, video->captureTime, std::move(video->data)};
            }
        }
    }
    auto fragments = frame ? frame->fragments() : std::nullopt;
    if (frame && !fragments) {
        // Empty or too large to fragment: its number stays used (the viewer sees a gap) and a keyframe follows.
        // A format it would have introduced was not sent either.
        std::lock_guard lock(mutex_);
        state_.inFlight = std::max(0, state_.inFlight - 1);
        state_.forceKeyframe = true;
        if (announce && generation == state_.generation) state_.sentFormat.reset();
    }
    if (!fragments) {
        sending.unlock();
        drainPending();
        return;
    }
    if (announce) send_(std::move(*announce));
    for (auto& fragment : *fragments) send_(std::move(fragment));
    // Its place in the window comes back with its ack.
}

void EncodingScreenStream::drainPending() {
    std::optional<CapturedFrame> pending;
    {
        std::lock_guard lock(mutex_);
        pending = std::exchange(state_.pending, std::nullopt);
    }
    if (pending) captured(std::move(*pending));
}

void EncodingScreenStream::ack(const ScreenFrameAck& ack) {
    std::optional<int> newRate;
    std::optional<CapturedFrame> pending;
    std::shared_ptr<VideoEncoder> encoder;
    {
        std::lock_guard lock(mutex_);
        // Acks of an older encoder's frames, of frames never sent, and surplus acks are ignored.
        const bool ofThisEncoder = ScreenFrameAssembler::isNewer(ack.sequence, state_.epochStart - 1);
        const bool sent = !ScreenFrameAssembler::isNewer(ack.sequence, state_.sequence);
        if (!ofThisEncoder || !sent || state_.inFlight < 1) return;
        --state_.inFlight;
        const double latencyMs = static_cast<double>(now_() - ack.captureTime) / 1'000'000.0;
        newRate = state_.rate.adapt(latencyMs, now_());
        pending = std::exchange(state_.pending, std::nullopt);
        encoder = state_.encoder;
    }
    if (newRate && encoder) encoder->setBitRate(*newRate);
    if (pending) captured(std::move(*pending));
}

void EncodingScreenStream::requestKeyframe() {
    std::lock_guard lock(mutex_);
    if (now_() - state_.lastKeyframe >= keyframeInterval) state_.forceKeyframe = true;
}

std::optional<ScreenStream::Target> EncodingScreenStream::target() const {
    std::lock_guard lock(mutex_);
    return state_.target;
}

int EncodingScreenStream::currentBitRate() const {
    std::lock_guard lock(mutex_);
    return state_.encoder ? state_.rate.bitRate() : 0;
}

} // namespace orvik::helper
