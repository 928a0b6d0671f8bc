#pragma once

#include "model/HelperAppModel.hpp"

#include <QColor>
#include <QIcon>
#include <QImage>

namespace orvik::helper {

// The tray icon: a screen frame with a dot, grown and joined by a second dot while phones are connected, an eye
// ring cut into the corner while one views the screen, and struck through while control is off. Drawn as vectors
// at whatever size and device-pixel ratio the tray asks for. Trays do not tint icons, so the colour comes from the
// application palette's window text (dark on a light panel, light on a dark one). Used on the GUI thread.
class MenuBarGlyph {
public:
    MenuBarGlyph() = delete;

    // The drawing's own square, in points.
    static constexpr double designSize = 18.0;

    // The same icon object on every call for a state; it draws on demand, so it follows palette changes.
    static const QIcon& icon(MenuBarGlyphState state);
    // The glyph in `colour` on a transparent square of `logicalSize` × `devicePixelRatio` pixels.
    static QImage image(MenuBarGlyphState state, int logicalSize, qreal devicePixelRatio, const QColor& colour);
};

} // namespace orvik::helper
