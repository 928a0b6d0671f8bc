#pragma once

#include "settings/SettingsTab.hpp"

#include <optional>
#include <string>

class QCheckBox;

namespace orvik::helper {

// The "General" tab: launch at login, the pause shortcut, notifications of new connections. Launch at login is
// not a preference: the tab mirrors it, loading it each time it comes on screen and writing back every change
// (also the one the load makes). The system's login items page, when it has one, opens from a button beside it.
class GeneralSettings final : public SettingsTab {
public:
    GeneralSettings(std::shared_ptr<HelperAppModel> model, const std::optional<std::string>& loginItemsLink);

    void appeared() override;

private:
    QCheckBox* launchAtLogin_;
};

} // namespace orvik::helper
