#include "menubar/TrayPresence.hpp"

#include "menubar/HelperMenu.hpp"
#include "menubar/MenuBarGlyph.hpp"
#include "menubar/MenuRenderer.hpp"

#include <QApplication>
#include <QCursor>
#include <QEvent>

namespace orvik::helper {

TrayPresence::TrayPresence(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), window_(menu_) {
    if (!options_.trayAvailable) options_.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    // No names here: a tooltip may be read out or shown to anyone near the screen.
    trayIcon_.setToolTip(QStringLiteral("Orvik Helper"));
    trayIcon_.setContextMenu(&menu_);
    connect(&trayIcon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) menu_.popup(QCursor::pos());
    });
    trayCheck_.setInterval(options_.trayPoll);
    connect(&trayCheck_, &QTimer::timeout, this, &TrayPresence::checkTray);
    qApp->installEventFilter(this);
    showGlyph();
}

TrayPresence::~TrayPresence() {
    trayIcon_.setContextMenu(nullptr);
}

void TrayPresence::update(const MenuSnapshot& snapshot, const MenuActions& actions, MenuBarGlyphState glyph) {
    MenuRenderer::render(HelperMenu::items(snapshot, actions), menu_);
    if (glyph != glyph_) {
        glyph_ = glyph;
        showGlyph();
    }
}

void TrayPresence::show() {
    trayIcon_.show();
    shownAt_ = std::chrono::steady_clock::now();
    trayCheck_.start();
    QTimer::singleShot(options_.trayGrace, this, &TrayPresence::checkTray);
}

bool TrayPresence::eventFilter(QObject* watched, QEvent* event) {
    // Trays do not recolour icons: redraw in the new palette's colours.
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) showGlyph();
    return QObject::eventFilter(watched, event);
}

void TrayPresence::checkTray() {
    if (options_.trayAvailable()) {
        if (windowStandsIn_) window_.hide();
        windowStandsIn_ = false;
        if (!trayIcon_.isVisible()) trayIcon_.show();
        return;
    }
    if (windowStandsIn_ || std::chrono::steady_clock::now() - shownAt_ < options_.trayGrace) return;
    windowStandsIn_ = true;
    window_.showNormal();
    window_.raise();
}

void TrayPresence::showGlyph() {
    const QIcon& icon = MenuBarGlyph::icon(glyph_);
    trayIcon_.setIcon(icon);
    window_.setIcon(icon);
}

} // namespace orvik::helper
