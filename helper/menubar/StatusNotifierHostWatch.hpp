#pragma once

#include "menubar/TrayHostWatch.hpp"

#include <QDBusServiceWatcher>

namespace orvik::helper {

// The StatusNotifierItem tray: there while the StatusNotifierWatcher's name has an owner on the session bus (what
// Qt checks before it shows the icon there). Follows the bus's name-owner changes.
class StatusNotifierHostWatch final : public TrayHostWatch {
    Q_OBJECT
public:
    static constexpr const char* watcherName = "org.kde.StatusNotifierWatcher";

    // `availableNow`: whether the watcher is there as the watch begins.
    explicit StatusNotifierHostWatch(bool availableNow, QObject* parent = nullptr);

    bool available() const override { return available_; }

private:
    QDBusServiceWatcher watcher_;
    bool available_;
};

} // namespace orvik::helper
