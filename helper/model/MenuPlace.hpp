#pragma once

#include <string>
#include <string_view>

namespace orvik::helper {

// Where the helper's menu is: in the system tray, or, on a desktop without one, in a small window of its own.
enum class MenuPlace { tray, window };

// The title of the window that holds the menu where no tray runs; texts name the window by it.
inline constexpr std::string_view menuWindowTitle = "Orvik Helper";

// Where the menu is, as a text that follows "Choose Pause Orvik": "in the system tray" or "in the Orvik Helper
// window".
inline std::string menuPlaceText(MenuPlace place) {
    if (place == MenuPlace::tray) return "in the system tray";
    return "in the " + std::string(menuWindowTitle) + " window";
}

} // namespace orvik::helper
