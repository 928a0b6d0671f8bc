#pragma once

#include <string_view>

namespace orvik::helper {

// The identifiers of the single windows; every part that opens or closes one names it by these.
namespace WindowID {
inline constexpr std::string_view onboarding = "onboarding";
inline constexpr std::string_view pairing = "pairing";
inline constexpr std::string_view fixPermission = "fixPermission";
inline constexpr std::string_view help = "help";
} // namespace WindowID

// Opens and closes the application's windows. Implemented by the application shell; called on the GUI thread.
// Opening a window first brings the application to the front; opening one that is already open raises it.
class WindowOpening {
public:
    virtual ~WindowOpening() = default;
    virtual void open(std::string_view windowID) = 0;
    virtual void close(std::string_view windowID) = 0;
    virtual void openSettings() = 0;
};

} // namespace orvik::helper
