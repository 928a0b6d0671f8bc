#include "settings/SettingsWindow.hpp"

#include "model/HelperAppModel.hpp"
#include "settings/AboutSettings.hpp"
#include "settings/CloseKeys.hpp"
#include "settings/DevicesSettings.hpp"
#include "settings/GeneralSettings.hpp"
#include "settings/PermissionsSettings.hpp"
#include "settings/PointerSettings.hpp"
#include "settings/ScreenViewingSettings.hpp"
#include "settings/UpdatesSettings.hpp"

#include <QIcon>
#include <QKeyEvent>
#include <QScrollArea>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace orvik::helper {

SettingsWindow::SettingsWindow(std::shared_ptr<HelperAppModel> model, WindowOpening& windows,
                               const SettingsLinks& links)
    : model_(std::move(model)), tabs_(new QTabWidget) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tabs_);
    setFixedSize(width, height);
    // Eight tabs share the window's width: with the styles' wider default padding the last ones would scroll.
    tabs_->setUsesScrollButtons(false);
    tabs_->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 4px 6px; }"));

    addTab(new GeneralSettings(model_, links.loginItems), tr("General"), QStringLiteral("preferences-system"));
    addTab(new DevicesSettings(model_), tr("Devices"), QStringLiteral("phone"));
    addTab(new PointerSettings(model_), tr("Pointer"), QStringLiteral("input-mouse"));
    addTab(new PowerSettings(model_), tr("Power"), QStringLiteral("system-shutdown"));
    addTab(new ScreenViewingSettings(model_, links.screenRecording), tr("Screen"), QStringLiteral("video-display"));
    addTab(new UpdatesSettings(model_), tr("Updates"), QStringLiteral("system-software-update"));
    addTab(new PermissionsSettings(model_, windows, links, FirewallSettingsTool::find()), tr("Permissions"),
           QStringLiteral("security-high"));
    addTab(new AboutSettings, tr("About"), QStringLiteral("help-about"));

    connect(tabs_, &QTabWidget::currentChanged, this, &SettingsWindow::currentTabChanged);
    setWindowTitle(tabs_->tabText(0));
    observer_ = model_->addObserver([this] { refresh(); });
}

SettingsWindow::~SettingsWindow() {
    model_->removeObserver(observer_);
}

void SettingsWindow::addTab(QWidget* content, const QString& title, const QString& iconName) {
    auto* scroll = new QScrollArea;
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tabs_->addTab(scroll, QIcon::fromTheme(iconName), title);
    followers_.push_back(dynamic_cast<SettingsTab*>(content));
}

void SettingsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A spontaneous show is the window system's: coming back from being minimised.
    if (!event->spontaneous()) currentTabChanged(tabs_->currentIndex());
}

void SettingsWindow::keyPressEvent(QKeyEvent* event) {
    if (CloseKeys::closes(*event)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SettingsWindow::currentTabChanged(int index) {
    setWindowTitle(tabs_->tabText(index));
    if (index < 0) return;
    if (SettingsTab* tab = followers_.at(static_cast<std::size_t>(index))) tab->appeared();
}

void SettingsWindow::refresh() {
    for (SettingsTab* tab : followers_) {
        if (tab) tab->refresh();
    }
}

} // namespace orvik::helper
