#pragma once

#include "server/CommandOutcome.hpp"

namespace orvik::helper {

// Turns the displays off now through DPMS on the X server of $DISPLAY. Without an X server, or one without DPMS
// (Xvfb has none), the answer is failure(internalError, "display sleep not available").
CommandOutcome forceDisplaysOff();

// Whether the X screen saver (a screen locker's blanking) is on; absent without an X server or the extension.
std::optional<bool> screenSaverOn();

} // namespace orvik::helper
