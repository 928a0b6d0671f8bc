#pragma once

#include "orvik/protocol/messages/CommandMessages.hpp"

namespace orvik::helper {

// How the command side drives the presentation overlay (laser dot or spotlight). Called on the GUI thread.
class OverlayPresenting {
public:
    virtual ~OverlayPresenting() = default;
    virtual void setMode(OverlayMode mode) = 0;
};

} // namespace orvik::helper
