// Stand-in for the model's power-action names in trees that do not build the model yet.
#include "model/HelperAppModel.hpp"

namespace orvik::helper {

std::string HelperAppModel::localizedName(PowerAction action) {
    switch (action) {
    case PowerAction::lock: return "Lock";
    case PowerAction::displaySleep: return "Display sleep";
    case PowerAction::sleep: return "Sleep";
    case PowerAction::restart: return "Restart";
    case PowerAction::shutDown: return "Shut down";
    case PowerAction::logOut: return "Log out";
    }
    return {};
}

} // namespace orvik::helper
