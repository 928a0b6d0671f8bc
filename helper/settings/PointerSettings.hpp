#pragma once

#include "settings/SettingsTab.hpp"

namespace orvik::helper {

// The "Pointer" tab: how scrolling from the phone is injected, and the presentation overlay's colour and size.
class PointerSettings final : public SettingsTab {
public:
    explicit PointerSettings(std::shared_ptr<HelperAppModel> model);
};

// The "Power" tab: which power actions a paired phone may trigger.
class PowerSettings final : public SettingsTab {
public:
    explicit PowerSettings(std::shared_ptr<HelperAppModel> model);
};

} // namespace orvik::helper
