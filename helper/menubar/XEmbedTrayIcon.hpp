#pragma once

#include "model/HelperAppModel.hpp"

#include <QColor>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <memory>

class QMenu;

namespace orvik::helper {

class XEmbedTrayWatch;

// The glyph in an XEmbed system tray, through Qt's tray icon. Qt decides once per process, as the first tray icon
// is made, whether its icons are StatusNotifierItems (where a host is registered then) or XEmbed icons; so the icon
// is made only when first shown, which the caller does only while no StatusNotifierItem host is registered, and it
// stays an XEmbed icon for the process's life. The glyph is drawn in the colour the tray asks icons to be drawn in,
// else in one that stands out from the panel seen behind the docked icon (TrayInk). Used on the GUI thread; the
// menu and the tray watch must outlive it.
class XEmbedTrayIcon : public QObject {
    Q_OBJECT
public:
    XEmbedTrayIcon(QString toolTip, QMenu& menu, const XEmbedTrayWatch& tray, QObject* parent = nullptr);
    ~XEmbedTrayIcon() override;

    void setShown(bool shown);
    void setGlyph(MenuBarGlyphState glyph);
    // Chooses the glyph's colour again: after the tray or the palette changed.
    void followPanel();

    // Null until first shown.
    QSystemTrayIcon* icon() const { return icon_.get(); }

signals:
    // A left click on the icon (the right one opens the menu).
    void activated();

private:
    void samplePanel(int attemptsLeft);
    void showGlyph();

    QString toolTip_;
    QMenu& menu_;
    const XEmbedTrayWatch& tray_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    MenuBarGlyphState glyph_ = MenuBarGlyphState::idle;
    QColor ink_;
    bool shown_ = false;
};

} // namespace orvik::helper
