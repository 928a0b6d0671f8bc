#pragma once

#include <QColor>
#include <QPalette>

#include <string_view>

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

    // For a panel the application cannot see (a StatusNotifierItem host draws it somewhere). GNOME-like desktops
    // (named in XDG_CURRENT_DESKTOP) keep a dark top bar whatever the theme; elsewhere panels follow the colour
    // scheme, as the application's palette does. Hosts that recolour symbolic icons use the icon's name instead.
    static QColor onUnseenPanel(const QPalette& palette, std::string_view currentDesktop);
};

} // namespace orvik::helper
