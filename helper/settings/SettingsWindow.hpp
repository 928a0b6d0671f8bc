#pragma once

#include "settings/SettingsLinks.hpp"

#include <QWidget>

#include <cstddef>
#include <memory>
#include <vector>

class QTabWidget;

namespace orvik::helper {

class HelperAppModel;
class SettingsTab;
class WindowOpening;

// The settings window: eight tabs (General, Devices, Pointer, Power, Screen, Updates, Permissions, About) in a
// fixed 560×400 window whose content scrolls; its title is the current tab's. Every control writes through the
// model at once (there is no Save). A tab's on-appear hook runs when it becomes current or the window is shown,
// not when the window comes back from being minimised. Escape and Ctrl+W close it. GUI thread only; the
// application keeps one.
class SettingsWindow final : public QWidget {
public:
    static constexpr int width = 560;
    static constexpr int height = 400;

    SettingsWindow(std::shared_ptr<HelperAppModel> model, WindowOpening& windows, const SettingsLinks& links = {});
    ~SettingsWindow() override;

    QTabWidget* tabs() const { return tabs_; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void addTab(QWidget* content, const QString& title, const QString& iconName);
    void currentTabChanged(int index);
    void refresh();

    std::shared_ptr<HelperAppModel> model_;
    QTabWidget* tabs_;
    // The tabs that follow the model, by tab index; null for About.
    std::vector<SettingsTab*> followers_;
    std::size_t observer_ = 0;
};

} // namespace orvik::helper
