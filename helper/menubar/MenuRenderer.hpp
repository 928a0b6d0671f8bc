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

    // How titles are written so that they show verbatim. A QMenu reads "&" as a mnemonic mark; a menu exported
    // over D-Bus (dbusmenu) reads "_" as one, and Qt turns the first "&" of a title into that "_".
    enum class Titles { widget, dbusMenu };

    // The old actions and submenus are deleted later, never at once: an item's own action may be what led to this
    // rebuild, and Qt is still inside its signal then.
    static void render(const std::vector<MenuItem>& items, QMenu& menu, Titles titles = Titles::widget);

    // The text that shows `title` verbatim (a tab, which would start a shortcut column, becomes a space).
    static QString menuTitle(std::string_view title, Titles titles = Titles::widget);
};

} // namespace orvik::helper
