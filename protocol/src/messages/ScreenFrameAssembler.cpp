#include "orvik/protocol/messages/ScreenFrameAssembler.hpp"

namespace orvik {

std::optional<EncodedScreenFrame> ScreenFrameAssembler::add(const ScreenFrame& fragment) {
    if (!isWithinLimits(fragment) || isStale(fragment.sequence)) return std::nullopt;

    if (pending_ && isNewer(fragment.sequence, pending_->sequence)) finish(pending_->sequence);
    if (!pending_) begin(fragment);

    auto& frame = *pending_;
    if (fragment.fragmentCount != frame.parts.size() || fragment.isKeyframe != frame.isKeyframe ||
        fragment.captureTime != frame.captureTime) {
        finish(frame.sequence);
        return std::nullopt;
    }
    if (frame.received[fragment.fragmentIndex]) return std::nullopt;

    frame.parts[fragment.fragmentIndex] = fragment.data;
    frame.received[fragment.fragmentIndex] = true;
    frame.receivedCount += 1;
    frame.byteCount += fragment.data.size();
    if (frame.receivedCount < frame.parts.size()) return std::nullopt;
    return assemble();
}

void ScreenFrameAssembler::reset() {
    pending_.reset();
    lastFinished_.reset();
}

// These limits alone keep an unfinished frame within 64 fragments and EncodedScreenFrame::maxBytes.
bool ScreenFrameAssembler::isWithinLimits(const ScreenFrame& fragment) {
    return fragment.fragmentCount > 0 && fragment.fragmentCount <= ScreenFrame::maxFragments &&
           fragment.fragmentIndex < fragment.fragmentCount && fragment.data.size() <= ScreenFrame::maxFragmentData;
}

// Older than the frame being put together, or not newer than the last one finished.
bool ScreenFrameAssembler::isStale(std::uint32_t sequence) const {
    if (pending_) return isNewer(pending_->sequence, sequence);
    return lastFinished_ && !isNewer(sequence, *lastFinished_);
}

void ScreenFrameAssembler::begin(const ScreenFrame& fragment) {
    Pending frame;
    frame.sequence = fragment.sequence;
    frame.isKeyframe = fragment.isKeyframe;
    frame.captureTime = fragment.captureTime;
    frame.parts.resize(fragment.fragmentCount);
    frame.received.assign(fragment.fragmentCount, false);
    pending_ = std::move(frame);
}

void ScreenFrameAssembler::finish(std::uint32_t sequence) {
    pending_.reset();
    lastFinished_ = sequence;
}

EncodedScreenFrame ScreenFrameAssembler::assemble() {
    auto& frame = *pending_;
    EncodedScreenFrame result;
    result.sequence = frame.sequence;
    result.isKeyframe = frame.isKeyframe;
    result.captureTime = frame.captureTime;
    result.data.reserve(frame.byteCount);
    for (const auto& part : frame.parts) result.data.insert(result.data.end(), part.begin(), part.end());
    finish(frame.sequence);
    return result;
}

} // namespace orvik
