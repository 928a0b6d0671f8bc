#pragma once

#include "orvik/protocol/messages/CommandMessages.hpp"
#include "platform/BusConnection.hpp"

#include <string>
#include <vector>

namespace orvik::helper {

// How each desktop's session manager on the session bus ends the session, restarts or shuts down — letting
// applications save their work and showing no confirmation dialog (nobody may be at the computer). In the order
// they are asked; empty for actions no session manager handles.
struct SessionManagerCall {
    std::string desktop;
    BusCall call;
};

std::vector<SessionManagerCall> sessionManagerCalls(PowerAction action);

} // namespace orvik::helper
