#pragma once

#include "menubar/MenuRenderer.hpp"
#include "menubar/MenuShortcuts.hpp"
#include "menubar/MenuSnapshot.hpp"
#include "menubar/StatusNotifierThemePath.hpp"
#include "menubar/TrayFallbackWindow.hpp"
#include "menubar/TrayHostWatch.hpp"
#include "model/MenuPlace.hpp"

#include <QColor>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

#include <chrono>
#include <memory>

namespace orvik::helper {

class DesktopColourWatch;

// The application's place on the desktop: a tray icon showing the glyph, with the menu on either click. Qt uses a
// StatusNotifierItem where a watcher says a host is registered when the icon is made, and XEmbed otherwise; an
// exported menu writes its titles differently, so it gets a copy of its own. Where no tray host appears within a
// few seconds, the fallback window shows the same menu; it hides once a tray appears and shows again if the tray
// goes away. Nothing is polled: the tray's coming and going are events (TrayHostWatch), and the menus change only
// where the model changed. The glyph is drawn in a colour chosen for the panel behind it (TrayInk): an XEmbed tray
// shows its panel, a StatusNotifierItem host's is guessed from what the desktop says of its colours
// (DesktopColourWatch). Used on the GUI thread.
class TrayPresence : public QObject {
    Q_OBJECT
public:
    struct Options {
        // How long a tray host may take to appear before the window stands in for it.
        std::chrono::milliseconds trayGrace{3000};
        // Where a StatusNotifierItem host may look up the glyph's symbolic icons (a folder of icon themes) when
        // they are not installed; empty: share/icons beside the program's folder, as in the build folder.
        QString iconThemePath;
    };

    explicit TrayPresence(Options options, QObject* parent = nullptr);
    TrayPresence() : TrayPresence(Options{}) {}
    ~TrayPresence() override;

    // Shows the snapshot in the menus, changing only what changed, and shows the glyph of the state.
    void update(const MenuSnapshot& snapshot, const MenuActions& actions, MenuBarGlyphState glyph);
    // Shows the tray icon and starts watching for the tray host.
    void show();

    // The menu shown by this process: on a left click, in the fallback window and as the XEmbed tray's menu.
    QMenu& menu() { return menu_; }
    QSystemTrayIcon& trayIcon() { return trayIcon_; }
    TrayFallbackWindow& fallbackWindow() { return window_; }
    // Where the menu is: in the tray, until the window stands in for a missing one.
    MenuPlace menuPlace() const { return windowStandsIn_ ? MenuPlace::window : MenuPlace::tray; }

signals:
    void menuPlaceChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void checkTray();
    void showGlyph();
    void followPanel();
    void samplePanel(int attemptsLeft);
    void showIcon();

    Options options_;
    QMenu menu_;
    // Exported over D-Bus when the tray is a StatusNotifierItem host.
    QMenu exportedMenu_;
    bool exportsMenu_ = false;
    MenuRenderer renderer_;
    std::unique_ptr<MenuRenderer> exportedRenderer_;
    MenuShortcuts shortcuts_;
    QSystemTrayIcon trayIcon_;
    // Made when the icon is shown where its symbolic icons are not installed but found beside the program; goes
    // before the icon.
    std::unique_ptr<StatusNotifierThemePath> themePath_;
    TrayFallbackWindow window_;
    std::unique_ptr<TrayHostWatch> trayHost_;
    std::unique_ptr<DesktopColourWatch> desktopColours_;
    // The folder of icon themes that holds the symbolic icons, where they are not installed.
    QString iconThemePath_;
    MenuBarGlyphState glyph_ = MenuBarGlyphState::idle;
    QColor ink_;
    bool iconNamed_ = false;
    std::chrono::steady_clock::time_point shownAt_;
    bool windowStandsIn_ = false;
};

} // namespace orvik::helper
