#include "menubar/TrayPresence.hpp"

#include "menubar/HelperMenu.hpp"
#include "menubar/MenuBarGlyph.hpp"
#include "menubar/StatusNotifierHostWatch.hpp"
#include "menubar/TrayInk.hpp"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

namespace orvik::helper {
namespace {

// What hosts and the tooltip call the application. No names here: a tooltip may be read out or shown to anyone
// near the screen.
const QString trayTitle = QStringLiteral("Orvik Helper");
// Names the item to hosts that remember their items (which to show, where).
const QString itemId = QStringLiteral("orvik-helper");

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

} // namespace

TrayPresence::TrayPresence(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), renderer_(menu_), shortcuts_(menu_), window_(menu_),
      item_(itemId, trayTitle, menu_), xembedIcon_(trayTitle, menu_, xembedTray_) {
    if (!symbolicIconsInstalled()) iconThemePath_ = themePathHoldingIcons(options_.iconThemePath);
    iconNamed_ = !iconThemePath_.isEmpty() || symbolicIconsInstalled();
    item_.setIconThemePath(iconThemePath_);
    const auto openMenu = [this] { menu_.popup(QCursor::pos()); };
    connect(&item_, &StatusNotifierItem::activated, this, openMenu);
    connect(&xembedIcon_, &XEmbedTrayIcon::activated, this, openMenu);
    connect(&xembedTray_, &TrayHostWatch::availabilityChanged, this, [this] {
        placeIcon();
        xembedIcon_.followPanel();
    });
    connect(&desktopColours_, &DesktopColourWatch::changed, this, &TrayPresence::followPanels);
    qApp->installEventFilter(this);
    followPanels();
}

TrayPresence::~TrayPresence() = default;

void TrayPresence::update(const MenuSnapshot& snapshot, const MenuActions& actions, MenuBarGlyphState glyph) {
    renderer_.update(HelperMenu::items(snapshot, actions));
    if (glyph != glyph_) {
        glyph_ = glyph;
        showGlyph();
    }
}

void TrayPresence::show() {
    if (std::exchange(shown_, true)) return;
    shownAt_ = std::chrono::steady_clock::now();
    statusNotifierHost_ = std::make_unique<StatusNotifierHostWatch>(item_.service());
    connect(statusNotifierHost_.get(), &TrayHostWatch::availabilityChanged, this, &TrayPresence::placeIcon);
    placeIcon();
    // Precise: a coarse timer may fire up to 5 % early, inside the grace, and nothing would look again.
    QTimer::singleShot(options_.trayGrace, Qt::PreciseTimer, this, &TrayPresence::placeIcon);
}

bool TrayPresence::eventFilter(QObject* watched, QEvent* event) {
    // Window icons follow the palette by themselves; the tray's ink may be one of the palette's colours.
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) followPanels();
    return QObject::eventFilter(watched, event);
}

// A StatusNotifierItem host is preferred; the XEmbed icon is shown only while it is known that none is registered,
// since Qt would make it a StatusNotifierItem of its own otherwise.
void TrayPresence::placeIcon() {
    if (!shown_) return;
    const bool onHost = statusNotifierHost_->available();
    const bool inXEmbedTray = !onHost && statusNotifierHost_->knownWithoutHost() && xembedTray_.available();
    xembedIcon_.setShown(inXEmbedTray);
    if (onHost || inXEmbedTray) {
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

// A StatusNotifierItem host's panel is out of sight (hosts that recolour symbolic icons use the icon's name); an
// XEmbed tray names its colour or shows its panel behind the icon.
void TrayPresence::followPanels() {
    xembedIcon_.followPanel();
    const QColor ink = TrayInk::onUnseenPanel(QGuiApplication::palette(), desktopColours_.current());
    if (ink == itemInk_) return;
    itemInk_ = ink;
    showGlyph();
}

void TrayPresence::showGlyph() {
    item_.setIcon(MenuBarGlyph::trayIcon(glyph_, itemInk_, iconNamed_));
    xembedIcon_.setGlyph(glyph_);
    window_.setIcon(MenuBarGlyph::icon(glyph_));
}

} // namespace orvik::helper
