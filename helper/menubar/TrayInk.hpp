#pragma once

#include "menubar/DesktopColours.hpp"

#include <QColor>
#include <QPalette>

#include <optional>

namespace orvik::helper {

// The colour the tray glyph is drawn in. Trays paint icons as they are, so the glyph must stand out from the
// panel behind it by itself: at least `minimumContrast` where the panel can be seen.
class TrayInk {
public:
    TrayInk() = delete;

    // What user-interface guidelines ask of graphics that must be recognised.
    static constexpr double minimumContrast = 3.0;

    // The contrast ratio of two colours, 1 to 21 (from their relative luminance, as in WCAG 2).
    static double contrast(const QColor& a, const QColor& b);

    // On a panel of this colour: the theme's text or window colour (its dark and light ink), whichever stands out
    // more, when that is enough; else black or white.
    static QColor onPanel(const QColor& panel, const QPalette& palette);

    // Where nothing tells the panel's colour: a mid grey that holds 3:1 on the dark and the light panels below.
    static inline const QColor neutral{0x77, 0x77, 0x77};
    // Panels as dark and as light as desktops commonly draw them.
    static inline const QColor darkPanel{0x20, 0x20, 0x20};
    static inline const QColor lightPanel{0xe8, 0xe8, 0xe8};

    // For a panel the application cannot see (a StatusNotifierItem host draws it somewhere): the theme's ink for
    // the panel the desktop's colours point to, else `neutral`. Hosts that recolour symbolic icons use the icon's
    // name instead.
    static QColor onUnseenPanel(const QPalette& palette, const DesktopColours& desktop);
    // The panel the desktop's colours point to, as dark or light or as its very colour; absent where they say
    // nothing. GNOME-like desktops keep a dark top bar whatever the theme; KDE draws its panel in the Plasma
    // theme, which follows the colour scheme unless it is a dark one; elsewhere the colour-scheme preference or a
    // dark GTK theme says it.
    static std::optional<QColor> unseenPanel(const DesktopColours& desktop);
};

} // namespace orvik::helper
