#pragma once

#include "settings/FirewallSettingsTool.hpp"
#include "settings/SettingsLinks.hpp"
#include "settings/SettingsTab.hpp"

#include <optional>
#include <string>

class QLabel;
class QPushButton;

namespace orvik::helper {

class WindowOpening;

// The "Permissions" tab: whether this session lets the helper post input (with Fix… opening the fix-permission
// window), whether the listener may serve the local network, and the system's automation and firewall settings
// pages when it has them. Linux has none; the firewall row then opens the firewall program when one is installed.
class PermissionsSettings final : public SettingsTab {
public:
    PermissionsSettings(std::shared_ptr<HelperAppModel> model, WindowOpening& windows, const SettingsLinks& links,
                        std::optional<FirewallSettingsTool> firewallTool);

    void refresh() override;
    void appeared() override;

private:
    QLabel* controlOn_;
    QPushButton* controlFix_;
    QLabel* networkOn_;
    QPushButton* networkFix_; // null without a local network settings page
};

} // namespace orvik::helper
