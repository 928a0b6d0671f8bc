#include "menubar/TrayInk.hpp"

#include <algorithm>
#include <array>
#include <cmath>

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

bool namesDarkBarDesktop(std::string_view desktops) {
    // A colon-separated list, such as "ubuntu:GNOME".
    while (!desktops.empty()) {
        const auto end = std::min(desktops.find(':'), desktops.size());
        const std::string_view name = desktops.substr(0, end);
        if (std::find(darkBarDesktops.begin(), darkBarDesktops.end(), name) != darkBarDesktops.end()) return true;
        desktops.remove_prefix(std::min(end + 1, desktops.size()));
    }
    return false;
}

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

QColor TrayInk::onUnseenPanel(const QPalette& palette, std::string_view currentDesktop) {
    if (namesDarkBarDesktop(currentDesktop)) return onPanel(Qt::black, palette);
    return palette.color(QPalette::WindowText);
}

} // namespace orvik::helper
