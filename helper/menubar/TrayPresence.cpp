#include "menubar/TrayPresence.hpp"

#include "menubar/HelperMenu.hpp"
#include "menubar/MenuBarGlyph.hpp"
#include "menubar/MenuRenderer.hpp"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QEvent>

namespace orvik::helper {
namespace {

// How long the session bus may take to say whether a StatusNotifierItem host runs.
constexpr int watcherReplyLimitMs = 1000;

// Whether Qt will export the tray icon as a StatusNotifierItem: the question Qt itself asks when the icon is made.
bool statusNotifierHostRegistered() {
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusMessage get =
        QDBusMessage::createMethodCall(watcher, QStringLiteral("/StatusNotifierWatcher"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, watcherReplyLimitMs);
    return reply.type() == QDBusMessage::ReplyMessage &&
           reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

} // namespace

TrayPresence::TrayPresence(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), exportsMenu_(statusNotifierHostRegistered()), window_(menu_) {
    if (!options_.trayAvailable) options_.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    // No names here: a tooltip may be read out or shown to anyone near the screen.
    trayIcon_.setToolTip(QStringLiteral("Orvik Helper"));
    trayIcon_.setContextMenu(exportsMenu_ ? &exportedMenu_ : &menu_);
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
    const std::vector<MenuItem> items = HelperMenu::items(snapshot, actions);
    MenuRenderer::render(items, menu_);
    if (exportsMenu_) MenuRenderer::render(items, exportedMenu_, MenuRenderer::Titles::dbusMenu);
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
