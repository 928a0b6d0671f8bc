#pragma once

#include "permissions/SystemSettingsLink.hpp"

#include <optional>
#include <string>

namespace orvik::helper {

// The system settings pages the tabs offer a button for, taken from SystemSettingsLink. A tab asks for its link
// and shows no button when it is absent, as every one is on Linux.
struct SettingsLinks {
    // Fix… beside a refused "Local network" on the Permissions tab.
    std::optional<std::string> localNetwork = SystemSettingsLink::localNetwork();
    // "Restart, shut down, log out" on the Permissions tab.
    std::optional<std::string> automation = SystemSettingsLink::automation();
    // "Firewall" on the Permissions tab; without it the tab offers the firewall program when one is installed.
    std::optional<std::string> firewall = SystemSettingsLink::firewall();
    // Beside launch at login on the General tab.
    std::optional<std::string> loginItems = SystemSettingsLink::loginItems();
    // Beside a missing screen permission on the Screen tab.
    std::optional<std::string> screenRecording = SystemSettingsLink::screenRecording();
};

} // namespace orvik::helper
