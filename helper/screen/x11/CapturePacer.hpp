#pragma once

#include <cstdint>
#include <optional>

namespace orvik::helper {

// When the capture thread takes its next picture: at once after a start, then only when the screen changed and
// never sooner than one frame interval after the last picture, and at least once every `refreshInterval` on a
// still screen (a viewer asking for a keyframe must get a picture to encode). Times are nanoseconds.
class CapturePacer {
public:
    static constexpr std::uint64_t refreshInterval = 1'000'000'000;

    explicit CapturePacer(int frameRate) { setFrameRate(frameRate); }

    void setFrameRate(int frameRate);
    // Something on screen changed (damage, the pointer moved, a new configuration).
    void markChanged() { changed_ = true; }
    // A change is waiting for the next picture: further ones until then change nothing.
    bool changed() const { return changed_; }
    void frameTaken(std::uint64_t now);
    std::uint64_t nextFrameAt() const;
    // The earliest a change could be captured: one frame interval after the last picture.
    std::uint64_t nextChangeAt() const { return lastFrame_ ? *lastFrame_ + interval_ : 0; }
    std::uint64_t frameInterval() const { return interval_; }

private:
    std::uint64_t interval_ = 0;
    std::optional<std::uint64_t> lastFrame_;
    bool changed_ = true;
};

} // namespace orvik::helper
