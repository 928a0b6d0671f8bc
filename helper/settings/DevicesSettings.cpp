#include "settings/DevicesSettings.hpp"

#include "model/DisplayTexts.hpp"
#include "model/HelperAppModel.hpp"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

namespace orvik::helper {
namespace {

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

DevicesSettings::DevicesSettings(std::shared_ptr<HelperAppModel> model) : SettingsTab(std::move(model)) {
    auto* devices = addSection(tr("Paired iPhones and iPads"));
    auto* layout = static_cast<QVBoxLayout*>(devices->layout());
    empty_ = addNote(layout, {});
    rows_ = new QVBoxLayout;
    layout->addLayout(rows_);

    auto* scanning = addSection({});
    auto* scanningLayout = static_cast<QVBoxLayout*>(scanning->layout());
    addToggle(scanningLayout, tr("Allow automatically when scanned"), &HelperPreferences::autoAllowOnScan);
    addNote(scanningLayout, tr("Scanning the code already proves the phone is next to this computer. Turn this off "
                               "to confirm every new device."));
    showMenuPlace();
    rebuildRows();
}

void DevicesSettings::refresh() {
    SettingsTab::refresh();
    showMenuPlace();
    rebuildRows();
}

void DevicesSettings::showMenuPlace() {
    empty_->setText(tr("No paired devices yet. Choose Pair iPhone… %1.")
                        .arg(QString::fromStdString(menuPlaceText(model().menuPlace()))));
}

void DevicesSettings::rebuildRows() {
    std::vector<Uuid> connected;
    for (const auto& connection : model().connections()) connected.push_back(connection.deviceID);
    const auto& devices = model().pairedDevices();
    if (devices == shownDevices_ && connected == shownConnected_ && rows_->count() == std::ssize(devices)) return;
    shownDevices_ = devices;
    shownConnected_ = connected;

    while (QLayoutItem* item = rows_->takeAt(0)) {
        // Later: a row's own Remove button may be what led here.
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
    empty_->setVisible(devices.empty());
    for (const auto& device : devices) {
        const bool isConnected = std::find(connected.begin(), connected.end(), device.id) != connected.end();
        rows_->addWidget(makeRow(device, isConnected));
    }
}

QWidget* DevicesSettings::makeRow(const PairedDevice& device, bool connected) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 2, 0, 2);

    auto* texts = new QVBoxLayout;
    auto* name = new QLabel(fromStd(device.name));
    name->setTextFormat(Qt::PlainText);
    auto* lastSeen = new QLabel(fromStd(DisplayTexts::lastSeenText(device.lastSeen, std::chrono::system_clock::now())));
    lastSeen->setTextFormat(Qt::PlainText);
    showDimmed(lastSeen);
    QFont small = lastSeen->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    lastSeen->setFont(small);
    texts->addWidget(name);
    texts->addWidget(lastSeen);
    layout->addLayout(texts);
    layout->addStretch();

    if (connected) {
        auto* state = new QLabel(tr("Connected"));
        state->setFont(small);
        showInAccentColor(state);
        layout->addWidget(state);
    }
    auto* remove = new QPushButton(tr("Remove"));
    remove->setAccessibleName(tr("Remove %1").arg(fromStd(device.name)));
    connect(remove, &QPushButton::clicked, this, [this, device] { model().remove(device); });
    layout->addWidget(remove);
    return row;
}

} // namespace orvik::helper
