#pragma once

#include "orvik/protocol/messages/EncodedScreenFrame.hpp"
#include "orvik/protocol/messages/ScreenFrame.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvik {

// Puts screen-frame fragments back together on the viewer's side. It holds at most one unfinished frame (at
// most ScreenFrame::maxFragments fragments, EncodedScreenFrame::maxBytes bytes):
// - a fragment of a newer frame drops the unfinished older one;
// - fragments of older frames, of the frame just finished or dropped, and duplicates are ignored;
// - a fragment whose count, keyframe flag or capture time differs from the first fragment of its frame drops
//   that frame;
// - a fragment that breaks the limits (count 0 or above 64, index not below the count, more than 262,144 bytes)
//   is ignored.
// A viewer resets it when a new stream begins (each screenFormat), since a new stream may restart its numbers.
class ScreenFrameAssembler {
public:
    // True when `a` is after `b` in wrapping 32-bit order: (a - b) read as a signed 32-bit value is positive.
    // False for equal numbers and for differences of 2^31 or more.
    static bool isNewer(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b) > 0; }

    // The complete frame when this fragment was its last missing one; otherwise absent.
    std::optional<EncodedScreenFrame> add(const ScreenFrame& fragment);

    // Forgets the unfinished frame and the frames seen so far.
    void reset();

    bool hasUnfinishedFrame() const { return pending_.has_value(); }

private:
    struct Pending {
        std::uint32_t sequence = 0;
        bool isKeyframe = false;
        std::uint64_t captureTime = 0;
        std::vector<Bytes> parts;
        std::vector<bool> received;
        std::size_t receivedCount = 0;
        std::size_t byteCount = 0;
    };

    static bool isWithinLimits(const ScreenFrame& fragment);
    bool isStale(std::uint32_t sequence) const;
    void begin(const ScreenFrame& fragment);
    void finish(std::uint32_t sequence);
    EncodedScreenFrame assemble();

    std::optional<Pending> pending_;
    // The last frame completed or dropped; its late fragments and those of older frames are ignored.
    std::optional<std::uint32_t> lastFinished_;
};

} // namespace orvik
