#pragma once

#include "model/MenuPlace.hpp"

#include <string>

namespace orvik::helper {

// Desktop notifications of new connections and of a pending power action. Called on the GUI thread; never
// blocks it, and a missing notification service only loses the notification.
class ConnectionNotifying {
public:
    virtual ~ConnectionNotifying() = default;
    // `menu`: where the menu to pause from is now.
    virtual void notifyConnected(const std::string& deviceName, MenuPlace menu) = 0;
    virtual void notifySleepTimer(const std::string& actionName) = 0;
};

} // namespace orvik::helper
