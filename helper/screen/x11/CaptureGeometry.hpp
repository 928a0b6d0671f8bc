#pragma once

#include "orvik/protocol/messages/NormalizedRect.hpp"
#include "platform/DisplayIdentifiers.hpp"

#include <optional>

namespace orvik::helper {

// Where a capture reads on the root window and where the picture lands in the delivered frame.
class CaptureGeometry {
public:
    // The part of `monitor` on a root window of rootWidth×rootHeight: a monitor may be set up to reach past it
    // (xrandr --setmonitor), and only the root can be read. Absent when nothing of it is on the root.
    static std::optional<PixelRect> onRoot(const PixelRect& monitor, int rootWidth, int rootHeight);

    // The part of `monitor` that `region` (clamped) covers, in root-window pixels: whole pixels inside the
    // monitor, at least 2×2 (a 4:2:0 picture needs both).
    static PixelRect sourceRect(const PixelRect& monitor, const NormalizedRect& region);

    // Where a picture of sourceWidth×sourceHeight lands in an output of outputWidth×outputHeight when scaled
    // down (never up) with its aspect kept: centred, with even edges so the chroma planes line up; the rest is
    // black bars.
    static PixelRect fitted(int sourceWidth, int sourceHeight, int outputWidth, int outputHeight);
};

} // namespace orvik::helper
