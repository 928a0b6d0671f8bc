#pragma once

#include "menubar/TrayHostWatch.hpp"

#include <QAbstractNativeEventFilter>
#include <QColor>
// Declares Xlib's Display, which Qt's X connection is.
#include <QGuiApplication>

#include <optional>

namespace orvik::helper {

// The XEmbed system tray: there while the selection _NET_SYSTEM_TRAY_S<screen> has an owner (the tray's manager
// window). Follows the selection through XFixes on Qt's own X connection: a tray that starts (it announces itself
// with a MANAGER message) or ends (its window goes) is an event. Off X11 no tray is ever available.
class XEmbedTrayWatch final : public TrayHostWatch, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit XEmbedTrayWatch(QObject* parent = nullptr);

    bool available() const override { return manager_ != 0; }
    // The colour the tray asks icons to be drawn in (_NET_SYSTEM_TRAY_COLORS, normal), where it says one.
    std::optional<QColor> iconColour() const;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void readManager();

    // Qt's X connection; null off X11.
    Display* display_ = nullptr;
    unsigned long selection_ = 0;
    unsigned long manager_ = 0;
    int fixesEventBase_ = -1;
};

} // namespace orvik::helper
