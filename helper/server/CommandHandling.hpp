#pragma once

#include "orvik/protocol/coding/Capabilities.hpp"
#include "orvik/protocol/coding/Uuid.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"

#include <functional>

namespace orvik::helper {

class HelperServer;

// The handler of the commands the system controller does not serve itself (apps, shortcuts, links, clipboard).
// The same contract as the first two operations of SystemControlling.
class ProCommandHandling {
public:
    virtual ~ProCommandHandling() = default;

    virtual Capabilities capabilities() const = 0;
    // Serves one message and sends any reply through the server; `done` is called exactly once, from any
    // thread, when the message has been served. Throws nothing.
    virtual void handle(const OrvikMessage& message, HelperServer& server, const Uuid& sessionID,
                        std::function<void()> done) = 0;
};

} // namespace orvik::helper
