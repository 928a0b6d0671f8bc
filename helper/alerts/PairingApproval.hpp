#pragma once

#include "server/ServerTypes.hpp"

#include <functional>

namespace orvik::helper {

// Asks whether a phone that is pairing may control this computer.
class PairingApproval {
public:
    // Called on the GUI thread; returns at once. `done` gets true for "Allow" and false for "Deny" or a box
    // closed any other way, exactly once, on the GUI thread.
    static void ask(const PairingApprovalRequest& request, std::function<void(bool allowed)> done);
};

} // namespace orvik::helper
