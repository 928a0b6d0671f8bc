#include "menubar/StatusNotifierHostWatch.hpp"

#include <QDBusConnection>

namespace orvik::helper {

StatusNotifierHostWatch::StatusNotifierHostWatch(bool availableNow, QObject* parent)
    : TrayHostWatch(parent), watcher_(QString::fromLatin1(watcherName), QDBusConnection::sessionBus(),
                                      QDBusServiceWatcher::WatchForOwnerChange),
      available_(availableNow) {
    connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                available_ = !newOwner.isEmpty();
                emit availabilityChanged();
            });
}

} // namespace orvik::helper
