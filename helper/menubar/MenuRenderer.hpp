#pragma once

#include "menubar/MenuItem.hpp"

#include <QString>

#include <string_view>
#include <vector>

class QMenu;

namespace orvik::helper {

// Puts menu items into a QMenu, replacing what it held. Used on the GUI thread.
class MenuRenderer {
public:
    MenuRenderer() = delete;

    // The old actions and submenus are deleted later, never at once: an item's own action may be what led to this
    // rebuild, and Qt is still inside its signal then.
    static void render(const std::vector<MenuItem>& items, QMenu& menu);

    // A title as a menu shows it verbatim: "&" would otherwise mark a mnemonic and a tab start a shortcut column.
    static QString menuTitle(std::string_view title);
};

} // namespace orvik::helper
