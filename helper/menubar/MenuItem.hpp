#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvik::helper {

// One line of the tray menu as a plain value: what it shows and what choosing it does.
struct MenuItem {
    enum class Kind { text, button, toggle, separator, submenu };

    Kind kind = Kind::text;
    // Names the row across updates of the menu, so that a changed row is changed in place; unique among its
    // siblings. Empty: the row is known by its kind and title.
    std::string id;
    // Shown as it stands: names are never read as markup or mnemonics.
    std::string title;
    bool enabled = true;
    // Toggles only.
    bool checked = false;
    // A portable key sequence ("Ctrl+,"); empty for none.
    std::string shortcut;
    // Submenus only.
    std::vector<MenuItem> children;
    // Buttons and toggles: what choosing the item does (a toggle passes its new state itself).
    std::function<void()> run;
};

} // namespace orvik::helper
