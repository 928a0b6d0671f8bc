#include "power/SessionManagerCalls.hpp"

namespace orvik::helper {
namespace {

// GNOME: RequestReboot and RequestShutdown act without a dialog (Reboot and Shutdown only ask for one), and
// Logout mode 1 means "no confirmation".
constexpr std::uint32_t gnomeLogoutWithoutConfirmation = 1;

BusCall gnome(std::string method, std::vector<BusArgument> arguments = {}) {
    return {"org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager", std::move(method),
            std::move(arguments)};
}

BusCall kde(std::string method) {
    return {"org.kde.Shutdown", "/Shutdown", "org.kde.Shutdown", std::move(method)};
}

// XFCE: Restart and Shutdown take allow_save; Logout takes show_dialog, allow_save.
BusCall xfce(std::string method, std::vector<BusArgument> arguments) {
    return {"org.xfce.SessionManager", "/org/xfce/SessionManager", "org.xfce.Session.Manager", std::move(method),
            std::move(arguments)};
}

} // namespace

std::vector<SessionManagerCall> sessionManagerCalls(PowerAction action) {
    switch (action) {
    case PowerAction::restart:
        return {{"GNOME", gnome("RequestReboot")}, {"KDE", kde("logoutAndReboot")}, {"XFCE", xfce("Restart", {true})}};
    case PowerAction::shutDown:
        return {
            {"GNOME", gnome("RequestShutdown")}, {"KDE", kde("logoutAndShutdown")}, {"XFCE", xfce("Shutdown", {true})}};
    case PowerAction::logOut:
        return {{"GNOME", gnome("Logout", {gnomeLogoutWithoutConfirmation})},
                {"KDE", kde("logout")},
                {"XFCE", xfce("Logout", {false, true})}};
    default: return {};
    }
}

} // namespace orvik::helper
