#pragma once

#include "settings/SettingsTab.hpp"

class QCheckBox;

namespace orvik::helper {

// The "General" tab: launch at login, the pause shortcut, notifications of new connections. Launch at login is
// not a preference: the tab mirrors it, loading it each time it comes on screen and writing back every change
// (also the one the load makes).
class GeneralSettings final : public SettingsTab {
public:
    explicit GeneralSettings(std::shared_ptr<HelperAppModel> model);

    void appeared() override;

private:
    QCheckBox* launchAtLogin_;
};

} // namespace orvik::helper
