#pragma once

#include "model/ConnectionNotifying.hpp"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <optional>

class QDBusPendingCall;

namespace orvik::helper {

// Posts the helper's desktop notifications to the freedesktop notification service on the session bus. Lives on
// the GUI thread and never waits there: a post is an asynchronous call whose answer arrives later on that thread.
//
// The first post the service accepts authorizes every later one for the life of the process; a service that
// refuses a post while nothing is decided yet silences the process. A missing service decides nothing: at login
// the helper may start before the notification daemon, so the next post asks again.
class ConnectionNotifier final : public QObject, public ConnectionNotifying {
public:
    explicit ConnectionNotifier(QDBusConnection bus = QDBusConnection::sessionBus());

    void notifyConnected(const std::string& deviceName, MenuPlace menu) override;
    void notifySleepTimer(const std::string& actionName) override;

    // Absent until a service first answered a post; then whether posts are made.
    std::optional<bool> authorization() const { return authorization_; }
    // Posts whose answer has not arrived yet.
    int pendingPosts() const { return pendingPosts_; }

    // The text with "&", "<" and ">" as entities: services that support body markup would render them.
    static QString escapeMarkup(const QString& text);

private:
    void post(const QString& title, const QString& body);
    void answered(const QDBusPendingCall& call, bool asked);

    QDBusConnection bus_;
    std::optional<bool> authorization_;
    int pendingPosts_ = 0;
};

} // namespace orvik::helper
