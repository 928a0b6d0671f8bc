#pragma once

#include <functional>
#include <string_view>

namespace orvik::helper {

// The system-wide pause shortcut. Starts disabled and with no callback; used on the GUI thread only.
class GlobalHotKeying {
public:
    // The shortcut as the menu and the settings name it.
    static constexpr std::string_view displayString = "Ctrl+Alt+Super+P";

    virtual ~GlobalHotKeying() = default;
    // Run on the GUI thread at each press of the shortcut.
    virtual void setOnPress(std::function<void()> onPress) = 0;
    // true grabs the shortcut, false releases it. A grab that fails shows nothing and still reads as enabled.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

} // namespace orvik::helper
