#include "menubar/DesktopColourWatch.hpp"

#include "core/Log.hpp"
#include "platform/XSettings.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <array>

#include <sys/stat.h>

namespace orvik::helper {
namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearance = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

// KDE's configuration files are a few kilobytes; a larger one is not read beyond this.
constexpr qint64 kdeConfigBytesAtMost = 1024 * 1024;
// The files read under KDE.
const QString kdeGlobals = QStringLiteral("kdeglobals");
const QString plasmaConfig = QStringLiteral("plasmarc");
const std::array<QString, 2> kdeFiles{kdeGlobals, plasmaConfig};

// The user's file first, then the system's, as KDE reads them: the first that has the key.
std::optional<std::string> kdeSetting(const QString& file, std::string_view group, std::string_view key) {
    for (const QString& path : QStandardPaths::locateAll(QStandardPaths::GenericConfigLocation, file)) {
        QFile config(path);
        if (!config.open(QIODevice::ReadOnly)) continue;
        const QByteArray text = config.read(kdeConfigBytesAtMost);
        if (auto value = DesktopColours::kdeValue(
                std::string_view(text.constData(), static_cast<std::size_t>(text.size())), group, key)) {
            return value;
        }
    }
    return std::nullopt;
}

std::string gtkTheme(_XDisplay* display) {
    if (display == nullptr) return {};
    const auto settings = XSettings::read(display);
    return settings ? XSettings::text(*settings, "Net/ThemeName").value_or("") : "";
}

// Whether the desktop's name says KDE, whose files alone are read.
bool onKde() {
    DesktopColours named;
    named.desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toStdString();
    return named.names("KDE");
}

// The portal's Read answers a variant holding the value's variant (older portals) or the value's.
QVariant unwrapped(QVariant value) {
    while (value.metaType() == QMetaType::fromType<QDBusVariant>()) value = value.value<QDBusVariant>().variant();
    return value;
}

} // namespace

DesktopColourWatch::FileVersion DesktopColourWatch::FileVersion::of(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) return {};
    return {true, status.st_ino, status.st_mtim.tv_sec, status.st_mtim.tv_nsec, status.st_size};
}

DesktopColourWatch::DesktopColourWatch(QObject* parent)
    : QObject(parent), xsettings_(XSettings::selectionPrefix, XSettings::property) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Qt matches the slot's parameters to the signal by their type names, and knows a name only once its type is
    // registered: in the application nothing has registered QDBusVariant this early, and the connection failed.
    qRegisterMetaType<QDBusVariant>();
    if (!bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                     SLOT(settingChanged(QString, QString, QDBusVariant)))) {
        Log::error("Tray", "Following the settings portal's colour scheme failed; it is read only at the start");
    }
    QDBusMessage read =
        QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    read << appearance << colorSchemeKey;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (!reply.isError()) takeColorScheme(reply.value().variant());
        call->deleteLater();
    });
    connect(&xsettings_, &X11SelectionOwnerWatch::ownerChanged, this, &DesktopColourWatch::refresh);
    connect(&xsettings_, &X11SelectionOwnerWatch::propertyChanged, this, &DesktopColourWatch::refresh);
    if (onKde()) watchKdeConfiguration();
    refresh();
}

void DesktopColourWatch::settingChanged(const QString& group, const QString& key, const QDBusVariant& value) {
    if (group == appearance && key == colorSchemeKey) takeColorScheme(value.variant());
}

void DesktopColourWatch::takeColorScheme(const QVariant& value) {
    const QVariant scheme = unwrapped(value);
    bool valid = false;
    const uint number = scheme.toUInt(&valid);
    const std::optional<std::uint32_t> taken = valid ? std::optional<std::uint32_t>(number) : std::nullopt;
    if (taken == colorScheme_) return;
    colorScheme_ = taken;
    refresh();
}

void DesktopColourWatch::watchKdeConfiguration() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (folder.isEmpty() || !kdeConfiguration_.addPath(folder)) return;
    // Every program's saves in the folder are seen; only those of KDE's two files are read.
    const auto followed = [this] {
        if (followKdeConfiguration()) refresh();
    };
    connect(&kdeConfiguration_, &QFileSystemWatcher::directoryChanged, this, followed);
    connect(&kdeConfiguration_, &QFileSystemWatcher::fileChanged, this, followed);
    followKdeConfiguration();
}

// The files themselves too, for a change written in place; a file replaced is watched anew. Whether either is
// another version than when last looked at.
bool DesktopColourWatch::followKdeConfiguration() {
    const QDir folder(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    bool changed = false;
    for (std::size_t index = 0; index < kdeFiles.size(); ++index) {
        const QString path = folder.filePath(kdeFiles[index]);
        const FileVersion version = FileVersion::of(path);
        if (version.exists && !kdeConfiguration_.files().contains(path)) kdeConfiguration_.addPath(path);
        changed = changed || version != kdeVersions_[index];
        kdeVersions_[index] = version;
    }
    return changed;
}

void DesktopColourWatch::refresh() {
    DesktopColours colours;
    colours.desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toStdString();
    colours.colorScheme = colorScheme_;
    colours.gtkTheme = gtkTheme(xsettings_.display());
    if (colours.names("KDE")) {
        colours.plasmaTheme = kdeSetting(plasmaConfig, "Theme", "name").value_or("");
        const auto window = kdeSetting(kdeGlobals, "Colors:Window", "BackgroundNormal");
        if (window) colours.kdeWindow = DesktopColours::kdeColour(*window);
    }
    if (colours == colours_) return;
    colours_ = std::move(colours);
    emit changed();
}

} // namespace orvik::helper
