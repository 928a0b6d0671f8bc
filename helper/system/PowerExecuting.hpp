#pragma once

#include "orvik/protocol/messages/CommandMessages.hpp"
#include "server/CommandOutcome.hpp"

#include <functional>

namespace orvik::helper {

// Carries out one power action now. `done` is called exactly once, from any thread, with the outcome; nothing
// throws. The policy and the delay are the caller's.
class PowerExecuting {
public:
    virtual ~PowerExecuting() = default;

    virtual void run(PowerAction action, std::function<void(CommandOutcome)> done) = 0;
};

} // namespace orvik::helper
