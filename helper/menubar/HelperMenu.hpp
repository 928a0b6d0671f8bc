#pragma once

#include "menubar/MenuItem.hpp"
#include "menubar/MenuSnapshot.hpp"

#include <string>
#include <vector>

namespace orvik::helper {

// The content of the tray menu, computed from a snapshot of the model: status, addresses, viewers, pairing,
// paired devices, sleep timer, pause, settings, updates, help, self-test, onboarding and quit. Pure: the same
// snapshot always gives the same items, and nothing runs until an item's action is called.
class HelperMenu {
public:
    HelperMenu() = delete;

    static std::vector<MenuItem> items(const MenuSnapshot& snapshot, const MenuActions& actions);

    // The first line of the menu.
    static std::string statusText(const HelperAppModel::MenuStatus& status);
    // The first line of a paired device's submenu.
    static std::string lastSeenText(const PairedDevice& device, Date now);
};

} // namespace orvik::helper
