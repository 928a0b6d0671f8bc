#include "settings/GeneralSettings.hpp"

#include "model/GlobalHotKeying.hpp"
#include "model/HelperAppModel.hpp"

#include <QCheckBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvik::helper {

GeneralSettings::GeneralSettings(std::shared_ptr<HelperAppModel> model,
                                 const std::optional<std::string>& loginItemsLink)
    : SettingsTab(std::move(model)), launchAtLogin_(new QCheckBox(tr("Open Orvik Helper when you log in"))) {
    form()->addWidget(launchAtLogin_);
    connect(launchAtLogin_, &QCheckBox::toggled, this, [this](bool on) { this->model().setLaunchesAtLogin(on); });
    if (auto* open = linkButton(tr("Open Login Items Settings"), loginItemsLink)) {
        form()->addWidget(open, 0, Qt::AlignLeft);
    }
    const QString shortcut = QString::fromUtf8(GlobalHotKeying::displayString.data(),
                                               static_cast<qsizetype>(GlobalHotKeying::displayString.size()));
    addToggle(form(), tr("Pause shortcut %1").arg(shortcut), &HelperPreferences::pauseHotKeyEnabled);
    addToggle(form(), tr("Notify me when an iPhone connects"), &HelperPreferences::showConnectionNotifications);
}

void GeneralSettings::appeared() {
    launchAtLogin_->setChecked(model().launchesAtLogin());
}

} // namespace orvik::helper
