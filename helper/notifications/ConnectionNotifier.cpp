#include "notifications/ConnectionNotifier.hpp"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace orvik::helper {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString appName = QStringLiteral("Orvik Helper");
const QString appIcon = QStringLiteral("orvik-helper");
const QString desktopEntry = QStringLiteral("orvik-helper");
// Let the service choose how long a notification stays.
constexpr int serverDefaultTimeout = -1;

// Errors that say no service answered at all, as opposed to a service that refused: nothing is decided by them.
bool isMissingService(const QDBusError& error) {
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoServer:
    case QDBusError::Disconnected:
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut: return true;
    default: break;
    }
    // The bus failed to start the service it knows by its activation file, or the name vanished meanwhile.
    return error.name().startsWith(QStringLiteral("org.freedesktop.DBus.Error.Spawn.")) ||
           error.name() == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner");
}

} // namespace

ConnectionNotifier::ConnectionNotifier(QDBusConnection bus) : bus_(std::move(bus)) {}

void ConnectionNotifier::notifyConnected(const std::string& deviceName, MenuPlace menu) {
    post(QString::fromStdString(deviceName) + QStringLiteral(" connected"),
         QStringLiteral("It can control this computer now. Choose Pause Orvik %1 to stop it.")
             .arg(QString::fromStdString(menuPlaceText(menu))));
}

void ConnectionNotifier::notifySleepTimer(const std::string& actionName) {
    post(QString::fromStdString(actionName) + QStringLiteral(" in 1 minute"),
         QStringLiteral("Open the Orvik Helper menu to cancel."));
}

QString ConnectionNotifier::escapeMarkup(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    escaped.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    escaped.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    return escaped;
}

void ConnectionNotifier::post(const QString& title, const QString& body) {
    if (authorization_ == false) return;
    const bool asking = !authorization_.has_value();

    // The summary is plain text by the protocol, so the name goes in as it is; only the body may be markup.
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), desktopEntry}};
    call << appName << 0U << appIcon << title << escapeMarkup(body) << QStringList() << hints << serverDefaultTimeout;

    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    ++pendingPosts_;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, asking](QDBusPendingCallWatcher* finished) {
        --pendingPosts_;
        answered(*finished, asking);
        finished->deleteLater();
    });
}

void ConnectionNotifier::answered(const QDBusPendingCall& call, bool asked) {
    // Once decided, answers change nothing: a failed post is only lost.
    if (!asked) return;
    if (!call.isError()) {
        authorization_ = true;
    } else if (!isMissingService(call.error())) {
        authorization_ = false;
    }
}

} // namespace orvik::helper
