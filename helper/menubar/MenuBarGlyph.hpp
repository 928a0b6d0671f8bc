#pragma once

#include "model/HelperAppModel.hpp"

#include <QByteArray>
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPainterPath>
#include <QString>

namespace orvik::helper {

// The tray icon: a screen frame with a dot, grown and joined by a second dot while phones are connected, an eye
// ring cut into the corner while one views the screen, and struck through while control is off. One filled shape
// per state, drawn as vectors at whatever size and device-pixel ratio is asked for, in one colour. Trays do not
// tint icons: windows draw it in the application palette's text colour, the tray in the colour chosen for the
// panel (TrayInk). The same shapes are written as symbolic icons, which tray hosts that know the icon by name
// recolour for their panel. Used on the GUI thread.
class MenuBarGlyph {
public:
    MenuBarGlyph() = delete;

    // The drawing's own square, in points.
    static constexpr double designSize = 18.0;

    // For windows: the same icon object on every call for a state; it draws on demand in the palette's text
    // colour, so it follows palette changes.
    static const QIcon& icon(MenuBarGlyphState state);
    // For the tray: the glyph in `ink`; with `named`, the icon also carries the name of its installed symbolic
    // icon (which a StatusNotifierItem host then uses).
    static QIcon trayIcon(MenuBarGlyphState state, const QColor& ink, bool named);
    // The glyph in `colour` on a transparent square of `logicalSize` × `devicePixelRatio` pixels.
    static QImage image(MenuBarGlyphState state, int logicalSize, qreal devicePixelRatio, const QColor& colour);

    // The state's shape in the design square, y downwards.
    static QPainterPath shape(MenuBarGlyphState state);
    // The name of the state's symbolic icon ("orvik-helper-idle-symbolic") and its SVG document.
    static QString symbolicIconName(MenuBarGlyphState state);
    static QByteArray symbolicSvg(MenuBarGlyphState state);
};

} // namespace orvik::helper
