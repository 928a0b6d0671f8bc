#pragma once

#include "menubar/DesktopColourWatch.hpp"
#include "menubar/MenuRenderer.hpp"
#include "menubar/MenuShortcuts.hpp"
#include "menubar/MenuSnapshot.hpp"
#include "menubar/StatusNotifierItem.hpp"
#include "menubar/TrayFallbackWindow.hpp"
#include "menubar/XEmbedTrayIcon.hpp"
#include "menubar/XEmbedTrayWatch.hpp"
#include "model/MenuPlace.hpp"

#include <QColor>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <chrono>
#include <memory>

namespace orvik::helper {

class StatusNotifierHostWatch;

// The application's place on the desktop: a tray icon showing the glyph, with the menu on either click. The icon is
// the application's own StatusNotifierItem wherever a host for such items runs, whenever it starts, and an icon in
// the XEmbed tray where none does but such a tray runs (XEmbedTrayIcon). Where neither appears within a few seconds,
// the fallback window shows the same menu; it hides once a tray appears and shows again if the tray goes away.
// Nothing is polled: the trays' coming and going are events (TrayHostWatch), and the menu changes only where the
// model changed. The glyph is drawn in a colour chosen for the panel behind it (TrayInk): an XEmbed tray shows its
// panel, a StatusNotifierItem host's is guessed from what the desktop says of its colours (DesktopColourWatch).
// Used on the GUI thread.
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

    // Shows the snapshot in the menu, changing only what changed, and shows the glyph of the state.
    void update(const MenuSnapshot& snapshot, const MenuActions& actions, MenuBarGlyphState glyph);
    // Shows the tray icon and starts watching for the tray hosts.
    void show();

    // The menu: on either click in either tray, exported to a StatusNotifierItem host, in the fallback window.
    QMenu& menu() { return menu_; }
    // The icon in an XEmbed tray; null until one was shown there.
    QSystemTrayIcon* trayIcon() const { return xembedIcon_.icon(); }
    TrayFallbackWindow& fallbackWindow() { return window_; }
    // Where the menu is: in the tray, until the window stands in for a missing one.
    MenuPlace menuPlace() const { return windowStandsIn_ ? MenuPlace::window : MenuPlace::tray; }

signals:
    void menuPlaceChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placeIcon();
    void followPanels();
    void showGlyph();

    Options options_;
    QMenu menu_;
    MenuRenderer renderer_;
    MenuShortcuts shortcuts_;
    TrayFallbackWindow window_;
    StatusNotifierItem item_;
    // Made when shown: the item is registered from then on.
    std::unique_ptr<StatusNotifierHostWatch> statusNotifierHost_;
    XEmbedTrayWatch xembedTray_;
    XEmbedTrayIcon xembedIcon_;
    DesktopColourWatch desktopColours_;
    // The folder of icon themes that holds the symbolic icons, where they are not installed.
    QString iconThemePath_;
    // Whether a StatusNotifierItem host can find the glyph's symbolic icon by name.
    bool iconNamed_ = false;
    MenuBarGlyphState glyph_ = MenuBarGlyphState::idle;
    // The glyph's colour for a StatusNotifierItem host's panel.
    QColor itemInk_;
    std::chrono::steady_clock::time_point shownAt_;
    bool shown_ = false;
    bool windowStandsIn_ = false;
};

} // namespace orvik::helper
