#include "menubar/DesktopColourWatch.hpp"

#include "platform/XSettings.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QGuiApplication>
#include <QStandardPaths>

namespace orvik::helper {
namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearance = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

// KDE's configuration files are a few kilobytes; a larger one is not read beyond this.
constexpr qint64 kdeConfigBytesAtMost = 1024 * 1024;

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

std::string gtkTheme() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->display() == nullptr) return {};
    const auto settings = XSettings::read(x11->display());
    return settings ? XSettings::text(*settings, "Net/ThemeName").value_or("") : "";
}

// The portal's Read answers a variant holding the value's variant (older portals) or the value's.
QVariant unwrapped(QVariant value) {
    while (value.metaType() == QMetaType::fromType<QDBusVariant>()) value = value.value<QDBusVariant>().variant();
    return value;
}

} // namespace

DesktopColourWatch::DesktopColourWatch(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                SLOT(settingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read =
        QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    read << appearance << colorSchemeKey;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (!reply.isError()) takeColorScheme(reply.value().variant());
        call->deleteLater();
    });
}

DesktopColours DesktopColourWatch::current() const {
    DesktopColours colours;
    colours.desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toStdString();
    colours.colorScheme = colorScheme_;
    colours.gtkTheme = gtkTheme();
    if (colours.names("KDE")) {
        colours.plasmaTheme = kdeSetting(QStringLiteral("plasmarc"), "Theme", "name").value_or("");
        const auto window = kdeSetting(QStringLiteral("kdeglobals"), "Colors:Window", "BackgroundNormal");
        if (window) colours.kdeWindow = DesktopColours::kdeColour(*window);
    }
    return colours;
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
    emit changed();
}

} // namespace orvik::helper
