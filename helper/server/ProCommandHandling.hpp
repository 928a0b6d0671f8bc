#pragma once

#include "orvik/protocol/coding/Capabilities.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"
#include "server/CommandSession.hpp"

#include <functional>
#include <memory>

namespace orvik::helper {

// The handler of the commands the system controller does not serve itself (apps, shortcuts, links, clipboard).
// The same contract as the first two operations of SystemControlling.
class ProCommandHandling {
public:
    virtual ~ProCommandHandling() = default;

    virtual Capabilities capabilities() const = 0;
    // Serves one message and answers through `session`; `done` is called exactly once, from any thread, when
    // the message has been served. Throws nothing.
    virtual void handle(const OrvikMessage& message, std::shared_ptr<CommandSession> session,
                        std::function<void()> done) = 0;
};

} // namespace orvik::helper
