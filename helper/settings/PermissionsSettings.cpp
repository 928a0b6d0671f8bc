#include "settings/PermissionsSettings.hpp"

#include "model/HelperAppModel.hpp"
#include "model/WindowID.hpp"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvik::helper {
namespace {

QLabel* onLabel() {
    auto* label = new QLabel(QObject::tr("On"));
    showInAccentColor(label);
    return label;
}

// The row's state or action, at its trailing edge.
QWidget* trailing(std::initializer_list<QWidget*> widgets) {
    auto* cell = new QWidget;
    auto* layout = new QHBoxLayout(cell);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    for (QWidget* widget : widgets) layout->addWidget(widget);
    return cell;
}

} // namespace

PermissionsSettings::PermissionsSettings(std::shared_ptr<HelperAppModel> model, WindowOpening& windows,
                                         const std::optional<std::string>& automationLink,
                                         std::optional<FirewallSettingsTool> firewall)
    : SettingsTab(std::move(model)), controlOn_(onLabel()), controlFix_(new QPushButton(tr("Fix…"))),
      networkOn_(onLabel()) {
    auto* rows = new QFormLayout;
    rows->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form()->addLayout(rows);
    connect(controlFix_, &QPushButton::clicked, this, [&windows] { windows.open(WindowID::fixPermission); });
    rows->addRow(tr("Control the pointer and keyboard"), trailing({controlOn_, controlFix_}));
    rows->addRow(tr("Local network"), trailing({networkOn_}));
    if (auto* open = linkButton(tr("Open Automation Settings"), automationLink)) {
        rows->addRow(tr("Restart, shut down, log out"), trailing({open}));
    }
    if (firewall) {
        auto* open = new QPushButton(tr("Open Firewall Settings"));
        connect(open, &QPushButton::clicked, this, [tool = *firewall] { tool.open(); });
        rows->addRow(tr("Firewall"), trailing({open}));
    }
    refresh();
}

void PermissionsSettings::refresh() {
    SettingsTab::refresh();
    const bool canPost = model().canPostEvents();
    controlOn_->setVisible(canPost);
    controlFix_->setVisible(!canPost);
    networkOn_->setVisible(model().listenerStatus() != ListenerStatus::localNetworkDenied());
}

void PermissionsSettings::appeared() {
    model().refreshPermission();
}

} // namespace orvik::helper
