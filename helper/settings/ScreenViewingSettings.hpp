#pragma once

#include "settings/SettingsTab.hpp"

#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace orvik::helper {

// The "Screen" tab: screen viewing on or off, whether this session can be captured, who is viewing now (with
// Stop Viewing) and which phones are always allowed (with Ask Again Next Time). Every action is one model call;
// the permission is read again each time the tab comes on screen. A missing permission offers the system's
// screen recording settings page when it has one (Linux has none).
class ScreenViewingSettings final : public SettingsTab {
public:
    ScreenViewingSettings(std::shared_ptr<HelperAppModel> model, const std::optional<std::string>& recordingLink);

    void refresh() override;
    void appeared() override;

private:
    static void fillRows(QVBoxLayout* rows, const std::vector<std::string>& names);

    QCheckBox* enabled_;
    QLabel* permissionIcon_;
    QLabel* permission_;
    QLabel* permissionHint_;
    QPushButton* openSettings_ = nullptr; // none without a settings page
    QGroupBox* viewers_;
    QVBoxLayout* viewerRows_;
    QGroupBox* allowed_;
    QVBoxLayout* allowedRows_;
    std::vector<std::string> shownViewers_;
    std::vector<std::string> shownAllowed_;
};

} // namespace orvik::helper
