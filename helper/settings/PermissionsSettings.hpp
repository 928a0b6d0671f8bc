#pragma once

#include "settings/FirewallSettingsTool.hpp"
#include "settings/SettingsTab.hpp"

#include <optional>
#include <string>

class QLabel;
class QPushButton;

namespace orvik::helper {

class WindowOpening;

// The "Permissions" tab: whether this session lets the helper post input (with Fix… opening the fix-permission
// window), whether the listener may serve the local network, the system's automation settings page when it has
// one (Linux has none) and the firewall settings program when one is installed.
class PermissionsSettings final : public SettingsTab {
public:
    PermissionsSettings(std::shared_ptr<HelperAppModel> model, WindowOpening& windows,
                        const std::optional<std::string>& automationLink, std::optional<FirewallSettingsTool> firewall);

    void refresh() override;
    void appeared() override;

private:
    QLabel* controlOn_;
    QPushButton* controlFix_;
    QLabel* networkOn_;
};

} // namespace orvik::helper
