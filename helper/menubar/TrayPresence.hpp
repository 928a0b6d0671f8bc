#pragma once

#include "menubar/MenuSnapshot.hpp"
#include "menubar/TrayFallbackWindow.hpp"

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <chrono>
#include <functional>

namespace orvik::helper {

// The application's place on the desktop: a tray icon showing the glyph, with the menu on either click. Qt uses a
// StatusNotifierItem where a watcher says a host is registered, and XEmbed otherwise; an exported menu writes its
// titles differently, so it gets a copy of its own. Where no tray host appears within a few seconds, the fallback
// window shows the same menu; it hides once a tray appears and shows again if the tray goes away. Used on the GUI
// thread.
class TrayPresence : public QObject {
    Q_OBJECT
public:
    struct Options {
        // How long a tray host may take to appear before the window stands in for it.
        std::chrono::milliseconds trayGrace{3000};
        // How often the tray's presence is looked at afterwards.
        std::chrono::milliseconds trayPoll{1000};
        // Whether a tray host runs now; defaults to Qt's answer.
        std::function<bool()> trayAvailable;
    };

    explicit TrayPresence(Options options, QObject* parent = nullptr);
    TrayPresence() : TrayPresence(Options{}) {}
    ~TrayPresence() override;

    // Rebuilds the menu from the snapshot and shows the glyph of the state.
    void update(const MenuSnapshot& snapshot, const MenuActions& actions, MenuBarGlyphState glyph);
    // Shows the tray icon and starts watching for the tray host.
    void show();

    // The menu shown by this process: on a left click, in the fallback window and as the XEmbed tray's menu.
    QMenu& menu() { return menu_; }
    QSystemTrayIcon& trayIcon() { return trayIcon_; }
    TrayFallbackWindow& fallbackWindow() { return window_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void checkTray();
    void showGlyph();

    Options options_;
    QMenu menu_;
    // Exported over D-Bus when the tray is a StatusNotifierItem host.
    QMenu exportedMenu_;
    bool exportsMenu_ = false;
    QSystemTrayIcon trayIcon_;
    TrayFallbackWindow window_;
    QTimer trayCheck_;
    MenuBarGlyphState glyph_ = MenuBarGlyphState::idle;
    std::chrono::steady_clock::time_point shownAt_;
    bool windowStandsIn_ = false;
};

} // namespace orvik::helper
