#pragma once

#include <QColor>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvik::helper {

// What the desktop says about its colours, as far as the panel of its tray goes. Empty or absent where it says
// nothing.
struct DesktopColours {
    // XDG_CURRENT_DESKTOP: names separated by colons, such as "ubuntu:GNOME".
    std::string desktops;
    // The settings portal's org.freedesktop.appearance color-scheme: 0 no preference, 1 dark, 2 light.
    std::optional<std::uint32_t> colorScheme;
    // The GTK theme the settings daemon publishes (XSETTINGS Net/ThemeName).
    std::string gtkTheme;
    // KDE's Plasma theme (plasmarc [Theme] name), which draws the panel.
    std::string plasmaTheme;
    // KDE's colour scheme: the window background (kdeglobals [Colors:Window] BackgroundNormal).
    std::optional<QColor> kdeWindow;

    bool operator==(const DesktopColours&) const = default;

    // Whether `desktops` names `desktop`.
    bool names(std::string_view desktop) const;

    // The value of `key` in `group` of a KDE configuration file's text; absent where the text has none.
    static std::optional<std::string> kdeValue(std::string_view text, std::string_view group, std::string_view key);
    // A KDE colour ("49,54,59"); absent unless three numbers of 0 to 255.
    static std::optional<QColor> kdeColour(std::string_view value);
    // Whether a theme's name says it is dark: "Adwaita-dark", "Breeze-Dark", "Materia-dark-compact", "breeze-dark".
    static bool namesDarkTheme(std::string_view theme);
};

} // namespace orvik::helper
