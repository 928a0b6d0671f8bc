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
                                         const SettingsLinks& links, std::optional<FirewallSettingsTool> firewallTool)
    : SettingsTab(std::move(model)), controlOn_(onLabel()), controlFix_(new QPushButton(tr("Fix…"))),
      networkOn_(onLabel()), networkFix_(linkButton(tr("Fix…"), links.localNetwork)) {
    auto* rows = new QFormLayout;
    rows->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form()->addLayout(rows);
    connect(controlFix_, &QPushButton::clicked, this, [&windows] { windows.open(WindowID::fixPermission); });
    rows->addRow(tr("Control the pointer and keyboard"), trailing({controlOn_, controlFix_}));
    rows->addRow(tr("Local network"), networkFix_ ? trailing({networkOn_, networkFix_}) : trailing({networkOn_}));
    if (auto* open = linkButton(tr("Open Automation Settings"), links.automation)) {
        rows->addRow(tr("Restart, shut down, log out"), trailing({open}));
    }
    auto* firewall = linkButton(tr("Open Firewall Settings"), links.firewall);
    if (!firewall && firewallTool) {
        firewall = new QPushButton(tr("Open Firewall Settings"));
        connect(firewall, &QPushButton::clicked, this, [tool = *firewallTool] { tool.open(); });
    }
    if (firewall) rows->addRow(tr("Firewall"), trailing({firewall}));
    refresh();
}

void PermissionsSettings::refresh() {
    SettingsTab::refresh();
    const bool canPost = model().canPostEvents();
    controlOn_->setVisible(canPost);
    controlFix_->setVisible(!canPost);
    const bool networkOn = model().listenerStatus() != ListenerStatus::localNetworkDenied();
    networkOn_->setVisible(networkOn);
    if (networkFix_) networkFix_->setVisible(!networkOn);
}

void PermissionsSettings::appeared() {
    model().refreshPermission();
}

} // namespace orvik::helper
