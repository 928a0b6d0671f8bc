#pragma once

#include "model/MenuPlace.hpp"
#include "screen/ScreenServices.hpp"

#include <functional>

namespace orvik::helper {

// Asks whether a paired phone may view the screen.
class ScreenViewingApproval {
public:
    // Called on the GUI thread; returns at once. `done` gets allowOnce for "Allow Once", alwaysAllow for "Always
    // Allow" and deny for "Don’t Allow" or a box closed any other way, exactly once, on the GUI thread. `menu`:
    // where the glyph that shows the viewing is.
    static void ask(const ScreenViewingRequest& request, MenuPlace menu,
                    std::function<void(ScreenViewingDecision)> done);
};

} // namespace orvik::helper
