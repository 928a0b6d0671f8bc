#pragma once

#include "orvik/protocol/coding/Capabilities.hpp"
#include "orvik/protocol/messages/HelperStatus.hpp"
#include "orvik/protocol/messages/OrvikMessage.hpp"
#include "server/CommandSession.hpp"

#include <functional>
#include <memory>

namespace orvik::helper {

// The command handler that serves the commands and queries of authenticated sessions, as the server sees it.
class SystemControlling {
public:
    virtual ~SystemControlling() = default;

    // The features this handler serves; the server joins them to its own in the handshake replies.
    virtual Capabilities capabilities() const = 0;

    // Serves one message of an authenticated session and answers through `session`, which is all it may reach
    // of the server. Asynchronous: `done` is called exactly once when the message has been served (from any
    // thread); the server reads the session's next message only after that. Throws nothing.
    virtual void handle(const OrvikMessage& message, std::shared_ptr<CommandSession> session,
                        std::function<void()> done) = 0;

    // Writes the handler's fields into the status snapshot; called on the server's thread.
    virtual void fill(HelperStatus& status) const = 0;
};

} // namespace orvik::helper
