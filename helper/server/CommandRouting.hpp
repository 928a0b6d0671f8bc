#pragma once

#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <cstdint>
#include <optional>

namespace orvik::helper {

// Three properties of a message that steer the command dispatch.

// The request identifier the reply must echo: that of power, appCommand, shortcutRun, sendURL, clipboardSet,
// appsListRequest, appIconRequest, runningAppsRequest, shortcutsListRequest and clipboardGet; absent for every
// other message (screenDisplaysRequest included: its refusals are error messages).
std::optional<std::uint32_t> requestID(const OrvikMessage& message);

// False for live input (pointerMove, button, scroll, key, pointerAbsolute), ping, pong, screenFrameAck and
// statusRequest; true for every other message.
bool isRateLimitedCommand(const OrvikMessage& message);

// True for overlay off, the listing queries (appsListRequest, appIconRequest, runningAppsRequest,
// shortcutsListRequest), cancelSleepTimer and statusRequest; false for everything else.
bool isAllowedWhilePaused(const OrvikMessage& message);

} // namespace orvik::helper
