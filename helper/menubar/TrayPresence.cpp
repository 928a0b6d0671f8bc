#include "menubar/TrayPresence.hpp"

#include "menubar/DesktopColourWatch.hpp"
#include "menubar/HelperMenu.hpp"
#include "menubar/MenuBarGlyph.hpp"
#include "menubar/StatusNotifierHostWatch.hpp"
#include "menubar/TrayInk.hpp"
#include "menubar/XEmbedTrayWatch.hpp"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QScreen>
#include <QStandardPaths>

namespace orvik::helper {
namespace {

// How long the session bus may take to say whether a StatusNotifierItem host runs.
constexpr int watcherReplyLimitMs = 1000;
// A tray that has just appeared docks the icon and paints its panel behind it within moments; its colour is read
// then, looking again a few times while the icon is not docked yet.
constexpr std::chrono::milliseconds panelSettles{400};
constexpr int panelSamplesAtMost = 10;

// Whether Qt will export the tray icon as a StatusNotifierItem: the question Qt itself asks when the icon is made.
bool statusNotifierHostRegistered() {
    const QString watcher = QString::fromLatin1(StatusNotifierHostWatch::watcherName);
    QDBusMessage get =
        QDBusMessage::createMethodCall(watcher, QStringLiteral("/StatusNotifierWatcher"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, watcherReplyLimitMs);
    return reply.type() == QDBusMessage::ReplyMessage &&
           reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

// The idle glyph's symbolic icon in the hicolor theme, which every theme falls back to.
QString symbolicIconFile() {
    return QStringLiteral("hicolor/scalable/status/") + MenuBarGlyph::symbolicIconName(MenuBarGlyphState::idle) +
           QStringLiteral(".svg");
}

// Where tray hosts look for an icon by name.
bool symbolicIconsInstalled() {
    return !QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("icons/") + symbolicIconFile())
                .isEmpty();
}

// `wanted`, or share/icons beside the program's folder, if it holds the symbolic icons; else empty.
QString themePathHoldingIcons(const QString& wanted) {
    const QString path =
        wanted.isEmpty() ? QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/icons"))
                         : wanted;
    return QFileInfo::exists(path + QLatin1Char('/') + symbolicIconFile()) ? path : QString();
}

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

TrayPresence::TrayPresence(Options options, QObject* parent)
    : QObject(parent), options_(options), exportsMenu_(statusNotifierHostRegistered()), renderer_(menu_),
      shortcuts_(menu_), window_(menu_) {
    if (exportsMenu_) {
        exportedRenderer_ = std::make_unique<MenuRenderer>(exportedMenu_, MenuRenderer::Titles::dbusMenu);
        trayHost_ = std::make_unique<StatusNotifierHostWatch>(true);
        desktopColours_ = std::make_unique<DesktopColourWatch>();
        connect(desktopColours_.get(), &DesktopColourWatch::changed, this, &TrayPresence::followPanel);
        if (!symbolicIconsInstalled()) iconThemePath_ = themePathHoldingIcons(options_.iconThemePath);
    } else {
        trayHost_ = std::make_unique<XEmbedTrayWatch>();
    }
    connect(trayHost_.get(), &TrayHostWatch::availabilityChanged, this, [this] {
        checkTray();
        followPanel();
    });
    // No names here: a tooltip may be read out or shown to anyone near the screen.
    trayIcon_.setToolTip(QStringLiteral("Orvik Helper"));
    trayIcon_.setContextMenu(exportsMenu_ ? &exportedMenu_ : &menu_);
    connect(&trayIcon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) menu_.popup(QCursor::pos());
    });
    qApp->installEventFilter(this);
    followPanel();
}

TrayPresence::~TrayPresence() {
    trayIcon_.setContextMenu(nullptr);
}

void TrayPresence::update(const MenuSnapshot& snapshot, const MenuActions& actions, MenuBarGlyphState glyph) {
    const std::vector<MenuItem> items = HelperMenu::items(snapshot, actions);
    renderer_.update(items);
    if (exportedRenderer_) exportedRenderer_->update(items);
    if (glyph != glyph_) {
        glyph_ = glyph;
        showGlyph();
    }
}

void TrayPresence::show() {
    showIcon();
    shownAt_ = std::chrono::steady_clock::now();
    // Precise: a coarse timer may fire up to 5 % early, inside the grace, and nothing would look again.
    QTimer::singleShot(options_.trayGrace, Qt::PreciseTimer, this, &TrayPresence::checkTray);
}

bool TrayPresence::eventFilter(QObject* watched, QEvent* event) {
    // Window icons follow the palette by themselves; the tray's ink may be one of the palette's colours.
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) followPanel();
    return QObject::eventFilter(watched, event);
}

void TrayPresence::checkTray() {
    if (trayHost_->available()) {
        if (!trayIcon_.isVisible()) showIcon();
        if (!windowStandsIn_) return;
        window_.hide();
        windowStandsIn_ = false;
        emit menuPlaceChanged();
        return;
    }
    if (windowStandsIn_ || std::chrono::steady_clock::now() - shownAt_ < options_.trayGrace) return;
    windowStandsIn_ = true;
    window_.showNormal();
    window_.raise();
    emit menuPlaceChanged();
}

void TrayPresence::showIcon() {
    trayIcon_.show();
    if (iconThemePath_.isEmpty()) return;
    if (!themePath_) themePath_ = std::make_unique<StatusNotifierThemePath>(iconThemePath_);
    if (themePath_->standIn()) return;
    // Without the path a host would look for the name in vain.
    themePath_.reset();
    iconThemePath_.clear();
    followPanel();
}

// Chooses the glyph's colour for the panel: a StatusNotifierItem host's panel is out of sight (hosts that recolour
// symbolic icons use the icon's name); an XEmbed tray names its colour or shows its panel behind the icon.
void TrayPresence::followPanel() {
    const QPalette palette = QGuiApplication::palette();
    if (exportsMenu_) {
        ink_ = TrayInk::onUnseenPanel(palette, desktopColours_->current());
        iconNamed_ = !iconThemePath_.isEmpty() || symbolicIconsInstalled();
        showGlyph();
        return;
    }
    const auto* xembed = static_cast<const XEmbedTrayWatch*>(trayHost_.get());
    if (auto colour = xembed->iconColour()) {
        ink_ = *colour;
        showGlyph();
        return;
    }
    if (!ink_.isValid()) ink_ = palette.color(QPalette::WindowText);
    showGlyph();
    if (xembed->available()) QTimer::singleShot(panelSettles, this, [this] { samplePanel(panelSamplesAtMost); });
}

void TrayPresence::samplePanel(int attemptsLeft) {
    const QRect icon = trayIcon_.geometry();
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

void TrayPresence::showGlyph() {
    trayIcon_.setIcon(MenuBarGlyph::trayIcon(glyph_, ink_, iconNamed_));
    window_.setIcon(MenuBarGlyph::icon(glyph_));
}

} // namespace orvik::helper
