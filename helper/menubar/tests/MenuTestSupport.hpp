#pragma once

#include "menubar/HelperMenu.hpp"

#include "menubar/TrayInk.hpp"

#include "../../../tests/support/WidgetTestEnvironment.hpp"

#include <QGuiApplication>
#include <QScreen>

#include <chrono>

namespace orvik::helper::test {

// The one QApplication of a test program, made on first use with the pinned test look.
inline QApplication& application() {
    static int argc = 1;
    static char name[] = "orvik_menubar_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    static const bool pinned = (pinWidgetTestLook(), true);
    (void)pinned;
    return app;
}

inline const std::string strangeName = "Tom & Jerry_<b>x</b><img src=/etc/hostname>";
// 4 May 2026, 10 PM in the tests' time zone (UTC).
inline const Date evening = std::chrono::sys_days{std::chrono::year{2026} / 5 / 4} + std::chrono::hours(22);

// Built field by field: the warnings in use refuse partial designated initialisers.
inline PairedDevice pairedDevice(std::string name, std::optional<Date> lastSeen = std::nullopt, Uuid id = {}) {
    PairedDevice device;
    device.id = id;
    device.name = std::move(name);
    device.lastSeen = lastSeen;
    return device;
}

inline std::vector<ConnectedDevice> viewers(const std::vector<std::string>& names) {
    std::vector<ConnectedDevice> devices(names.size());
    for (std::size_t index = 0; index < names.size(); ++index) devices[index].name = names[index];
    return devices;
}

// A menu as the user sees it, as lines: "-" a separator, "T " a grey line (a text or a disabled button), "B " a
// button, "[x] "/"[ ] " a toggle, "> " a submenu with its lines indented below, " ⌨" a shortcut. A time's narrow
// space reads as a space, so any English time format compares.
inline void outline(const std::vector<MenuItem>& items, std::vector<std::string>& lines, const std::string& indent) {
    using Kind = MenuItem::Kind;
    for (const MenuItem& item : items) {
        std::string line = item.kind == Kind::separator ? "-"
                           : item.kind == Kind::submenu ? "> " + item.title
                           : item.kind == Kind::toggle  ? (item.checked ? "[x] " : "[ ] ") + item.title
                                                        : (item.enabled ? "B " : "T ") + item.title;
        if (!item.shortcut.empty()) line += " ⌨" + item.shortcut;
        if (const auto at = line.find("\u202f"); at != std::string::npos) line.replace(at, 3, " ");
        lines.push_back(indent + line);
        outline(item.children, lines, indent + "  ");
    }
}

inline std::vector<std::string> outline(const std::vector<MenuItem>& items) {
    std::vector<std::string> lines;
    outline(items, lines, "");
    return lines;
}

// How much the screen's `area` stands out from its top-left corner at most: the contrast of a glyph with the panel
// it sits on (1 where the area is all panel).
inline double contrastWithCorner(const QRect& area) {
    const QImage seen =
        QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    const QColor panel = seen.pixelColor(1, 1);
    double most = 1;
    for (int y = 0; y < seen.height(); ++y) {
        for (int x = 0; x < seen.width(); ++x) most = std::max(most, TrayInk::contrast(seen.pixelColor(x, y), panel));
    }
    return most;
}

} // namespace orvik::helper::test
