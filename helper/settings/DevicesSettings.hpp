#pragma once

#include "server/ServerTypes.hpp"
#include "settings/SettingsTab.hpp"

#include <vector>

class QLabel;
class QVBoxLayout;

namespace orvik::helper {

// The "Devices" tab: the paired phones, each with its last-seen text, "Connected" while one of its sessions is
// open, and a Remove button that asks no confirmation; and whether a phone that scans the code is accepted
// without asking. Rows follow the model's device and connection lists.
class DevicesSettings final : public SettingsTab {
public:
    explicit DevicesSettings(std::shared_ptr<HelperAppModel> model);

    void refresh() override;

private:
    // The note for no devices says where the menu is.
    void showMenuPlace();
    void rebuildRows();
    QWidget* makeRow(const PairedDevice& device, bool connected);

    QVBoxLayout* rows_;
    QLabel* empty_;
    // What the rows show now, so that an unrelated model change keeps them (and their last-seen texts).
    std::vector<PairedDevice> shownDevices_;
    std::vector<Uuid> shownConnected_;
};

} // namespace orvik::helper
