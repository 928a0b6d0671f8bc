#include "settings/PointerSettings.hpp"

#include <QGroupBox>
#include <QVBoxLayout>

namespace orvik::helper {
namespace {} // namespace

PointerSettings::PointerSettings(std::shared_ptr<HelperAppModel> model) : SettingsTab(std::move(model)) {
    auto* scrolling = layoutOf(addSection({}));
    addPicker<ScrollMode>(
        scrolling, tr("Scrolling"), &HelperPreferences::scrollMode,
        {{tr("Smooth (recommended)"), ScrollMode::phaseless}, {tr("Trackpad-style phases"), ScrollMode::phased}});
    addNote(scrolling, tr("Try trackpad-style phases if an app ignores scrolling from Orvik."));

    using Color = HelperPreferences::OverlayColor;
    using Size = HelperPreferences::OverlaySize;
    auto* overlay = layoutOf(addSection(tr("Presentation overlay")));
    addPicker<Color>(overlay, tr("Color"), &HelperPreferences::overlayColor,
                     {{tr("Aurora"), Color::aurora}, {tr("Red"), Color::red}, {tr("White"), Color::white}});
    addPicker<Size>(overlay, tr("Size"), &HelperPreferences::overlaySize,
                    {{tr("Small"), Size::small}, {tr("Medium"), Size::medium}, {tr("Large"), Size::large}});
}

PowerSettings::PowerSettings(std::shared_ptr<HelperAppModel> model) : SettingsTab(std::move(model)) {
    auto* power = layoutOf(addSection(tr("From a paired iPhone")));
    addToggle(power, tr("Allow restart"), &HelperPreferences::allowRestart);
    addToggle(power, tr("Allow shut down"), &HelperPreferences::allowShutDown);
    addToggle(power, tr("Allow log out"), &HelperPreferences::allowLogOut);
    addNote(power, tr("Lock, sleep and display sleep are always available. Your iPhone asks for confirmation before "
                      "each action."));
}

} // namespace orvik::helper
