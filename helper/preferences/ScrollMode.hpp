#pragma once

namespace orvik::helper {

// The user's scroll setting: phaseless posts plain wheel deltas, phased mimics a trackpad gesture.
enum class ScrollMode { phaseless, phased };

} // namespace orvik::helper
