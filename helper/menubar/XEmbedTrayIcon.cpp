#include "menubar/XEmbedTrayIcon.hpp"

#include "menubar/MenuBarGlyph.hpp"
#include "menubar/TrayInk.hpp"
#include "menubar/XEmbedTrayWatch.hpp"

#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <chrono>

namespace orvik::helper {
namespace {

// A tray that has just appeared docks the icon and paints its panel behind it within moments; its colour is read
// then, looking again a few times while the icon is not docked yet.
constexpr std::chrono::milliseconds panelSettles{400};
constexpr int panelSamplesAtMost = 10;

// Embedded in the tray's panel, away from the screen's origin where an undocked icon reports itself.
bool docked(const QRect& icon) {
    return !icon.isEmpty() && icon.topLeft() != QPoint(0, 0);
}

// The panel as seen through the icon's corners, which the glyph never covers.
QColor panelBehind(const QRect& icon) {
    QScreen* screen = QGuiApplication::screenAt(icon.center());
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    const QImage seen = screen->grabWindow(0, icon.x(), icon.y(), icon.width(), icon.height()).toImage();
    if (seen.width() < 3 || seen.height() < 3) return {};
    const int right = seen.width() - 2;
    const int bottom = seen.height() - 2;
    int red = 0, green = 0, blue = 0;
    for (const QPoint corner : {QPoint(1, 1), QPoint(right, 1), QPoint(1, bottom), QPoint(right, bottom)}) {
        const QColor pixel = seen.pixelColor(corner);
        red += pixel.red();
        green += pixel.green();
        blue += pixel.blue();
    }
    return QColor(red / 4, green / 4, blue / 4);
}

} // namespace

XEmbedTrayIcon::XEmbedTrayIcon(QString toolTip, QMenu& menu, const XEmbedTrayWatch& tray, QObject* parent)
    : QObject(parent), toolTip_(std::move(toolTip)), menu_(menu), tray_(tray) {}

XEmbedTrayIcon::~XEmbedTrayIcon() {
    if (icon_) icon_->setContextMenu(nullptr);
}

void XEmbedTrayIcon::setShown(bool shown) {
    if (shown == shown_) return;
    shown_ = shown;
    if (!shown) {
        if (icon_) icon_->hide();
        return;
    }
    if (!icon_) {
        icon_ = std::make_unique<QSystemTrayIcon>();
        // No names here: a tooltip may be read out or shown to anyone near the screen.
        icon_->setToolTip(toolTip_);
        icon_->setContextMenu(&menu_);
        connect(icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger) emit activated();
        });
        showGlyph();
    }
    icon_->show();
    followPanel();
}

void XEmbedTrayIcon::setGlyph(MenuBarGlyphState glyph) {
    if (glyph == glyph_) return;
    glyph_ = glyph;
    showGlyph();
}

void XEmbedTrayIcon::followPanel() {
    if (!shown_) return;
    if (auto colour = tray_.iconColour()) {
        ink_ = *colour;
        showGlyph();
        return;
    }
    if (!ink_.isValid()) ink_ = QGuiApplication::palette().color(QPalette::WindowText);
    showGlyph();
    QTimer::singleShot(panelSettles, this, [this] { samplePanel(panelSamplesAtMost); });
}

void XEmbedTrayIcon::samplePanel(int attemptsLeft) {
    if (!shown_) return;
    const QRect icon = icon_->geometry();
    if (!docked(icon)) {
        if (attemptsLeft > 1) {
            QTimer::singleShot(panelSettles, this, [this, attemptsLeft] { samplePanel(attemptsLeft - 1); });
        }
        return;
    }
    const QColor panel = panelBehind(icon);
    if (!panel.isValid()) return;
    const QColor ink = TrayInk::onPanel(panel, QGuiApplication::palette());
    if (ink == ink_) return;
    ink_ = ink;
    showGlyph();
}

void XEmbedTrayIcon::showGlyph() {
    if (!icon_) return;
    const QColor ink = ink_.isValid() ? ink_ : QGuiApplication::palette().color(QPalette::WindowText);
    icon_->setIcon(MenuBarGlyph::trayIcon(glyph_, ink, false));
}

} // namespace orvik::helper
