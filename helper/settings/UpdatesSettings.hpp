#pragma once

#include "settings/SettingsTab.hpp"

class QCheckBox;

namespace orvik::helper {

// The "Updates" tab: automatic checks on or off and a check on demand; a build without an update feed says so
// instead. Automatic checks are mirrored like launch at login: loaded when the tab comes on screen, written back
// on every change.
class UpdatesSettings final : public SettingsTab {
public:
    explicit UpdatesSettings(std::shared_ptr<HelperAppModel> model);

    void appeared() override;

private:
    QCheckBox* automatic_ = nullptr;
};

} // namespace orvik::helper
