#include "settings/UpdatesSettings.hpp"

#include "model/HelperAppModel.hpp"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvik::helper {

UpdatesSettings::UpdatesSettings(std::shared_ptr<HelperAppModel> model) : SettingsTab(std::move(model)) {
    if (this->model().updater().isConfigured()) {
        automatic_ = new QCheckBox(tr("Check for updates automatically"));
        form()->addWidget(automatic_);
        connect(automatic_, &QCheckBox::toggled, this,
                [this](bool on) { this->model().updater().setAutomaticallyChecksForUpdates(on); });
        auto* checkNow = new QPushButton(tr("Check Now"));
        connect(checkNow, &QPushButton::clicked, this, [this] { this->model().updater().checkForUpdates(); });
        form()->addWidget(checkNow, 0, Qt::AlignLeft);
    } else {
        addNote(form(), tr("Updates aren’t configured in this build."));
    }
    QLabel* caption =
        addNote(form(), tr("Update checks are the only requests Orvik Helper makes outside your local network."));
    QFont small = caption->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    caption->setFont(small);
}

void UpdatesSettings::appeared() {
    if (automatic_) automatic_->setChecked(model().updater().automaticallyChecksForUpdates());
}

} // namespace orvik::helper
