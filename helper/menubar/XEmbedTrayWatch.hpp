#pragma once

#include "menubar/TrayHostWatch.hpp"
#include "menubar/X11SelectionOwnerWatch.hpp"

#include <QColor>

#include <optional>

namespace orvik::helper {

// The XEmbed system tray: there while the selection _NET_SYSTEM_TRAY_S<screen> has an owner (the tray's manager
// window). A tray that starts (it announces itself with a MANAGER message) or ends (its window goes) is an event.
// Off X11 no tray is ever available.
class XEmbedTrayWatch final : public TrayHostWatch {
    Q_OBJECT
public:
    explicit XEmbedTrayWatch(QObject* parent = nullptr);

    bool available() const override { return manager_.owner() != 0; }
    // The colour the tray asks icons to be drawn in (_NET_SYSTEM_TRAY_COLORS, normal), where it says one.
    std::optional<QColor> iconColour() const;

private:
    X11SelectionOwnerWatch manager_;
};

} // namespace orvik::helper
