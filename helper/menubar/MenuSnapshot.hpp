#pragma once

#include "core/Date.hpp"
#include "model/HelperAppModel.hpp"
#include "orvik/protocol/pairing/HostPort.hpp"
#include "pairing/PairedDevice.hpp"
#include "server/ServerTypes.hpp"
#include "system/SleepTimer.hpp"

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace orvik::helper {

// Everything the tray menu shows, copied from the model each time it changes. The menu keeps nothing else.
struct MenuSnapshot {
    HelperAppModel::MenuStatus menuStatus;
    std::vector<HostPort> addresses;
    std::vector<ConnectedDevice> screenViewers;
    std::vector<PairedDevice> pairedDevices;
    std::optional<SleepTimer::Scheduled> sleepTimer;
    bool isPaused = false;
    bool updaterConfigured = false;
    // What "Last seen" counts from.
    Date now;
};

// What the menu's items do. Each is called on the GUI thread and must return at once; an absent one does nothing.
struct MenuActions {
    std::function<void()> startPairing;
    std::function<void(const PairedDevice&)> remove;
    std::function<void(bool paused)> setPaused;
    std::function<void()> stopScreenViewing;
    std::function<void()> cancelSleepTimer;
    std::function<void()> runSelfTest;
    std::function<void()> checkForUpdates;
    // Brings the application to the front and opens (or raises) the window of that identifier.
    std::function<void(std::string_view windowID)> openWindow;
    std::function<void()> openSettings;
    std::function<void()> quit;
};

} // namespace orvik::helper
