#include "menubar/TrayInk.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace orvik::helper {
namespace {

double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& colour) {
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

// Desktops whose top bar is dark in light themes too.
constexpr std::array<std::string_view, 4> darkBarDesktops{"GNOME", "Unity", "Pantheon", "Budgie"};

// The settings portal's color-scheme values.
constexpr std::uint32_t prefersDark = 1;
constexpr std::uint32_t prefersLight = 2;

} // namespace

double TrayInk::contrast(const QColor& a, const QColor& b) {
    const double first = luminance(a) + 0.05;
    const double second = luminance(b) + 0.05;
    return std::max(first, second) / std::min(first, second);
}

QColor TrayInk::onPanel(const QColor& panel, const QPalette& palette) {
    QColor themed = palette.color(QPalette::WindowText);
    const QColor other = palette.color(QPalette::Window);
    if (contrast(other, panel) > contrast(themed, panel)) themed = other;
    if (contrast(themed, panel) >= minimumContrast) return themed;
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrast(black, panel) >= contrast(white, panel) ? black : white;
}

std::optional<QColor> TrayInk::unseenPanel(const DesktopColours& desktop) {
    for (std::string_view name : darkBarDesktops) {
        if (desktop.names(name)) return darkPanel;
    }
    if (desktop.names("KDE")) {
        if (DesktopColours::namesDarkTheme(desktop.plasmaTheme)) return darkPanel;
        if (desktop.kdeWindow) return desktop.kdeWindow;
    }
    if (desktop.colorScheme == prefersDark) return darkPanel;
    if (desktop.colorScheme == prefersLight) return lightPanel;
    if (DesktopColours::namesDarkTheme(desktop.gtkTheme)) return darkPanel;
    return std::nullopt;
}

QColor TrayInk::onUnseenPanel(const QPalette& palette, const DesktopColours& desktop) {
    const auto panel = unseenPanel(desktop);
    return panel ? onPanel(*panel, palette) : neutral;
}

} // namespace orvik::helper
