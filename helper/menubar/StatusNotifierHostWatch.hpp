#pragma once

#include "menubar/TrayHostWatch.hpp"

#include <QDBusServiceWatcher>
#include <QString>

namespace orvik::helper {

// The StatusNotifierItem tray: there while the item is registered with the StatusNotifierWatcher and the watcher
// says a host (a panel showing the items it lists) is registered. The item is registered with every watcher that
// takes the watcher's name, at the start or at any time later (a panel that starts after the application, or
// starts again): the bus's name-owner changes and the watcher's host signals are followed, nothing is asked again
// and again. A watcher may take its name a moment before it answers there: a registration it refused then is made
// again when it next speaks, as a host registers with it. Used on the GUI thread.
class StatusNotifierHostWatch final : public TrayHostWatch {
    Q_OBJECT
public:
    static constexpr const char* watcherName = "org.kde.StatusNotifierWatcher";

    // Registers the item reached at `itemService` (nothing without a name).
    explicit StatusNotifierHostWatch(QString itemService, QObject* parent = nullptr);

    bool available() const override { return item_ == Item::registered && hostRegistered_; }
    // Known for now that no host is registered: the watcher is gone, or said so.
    bool knownWithoutHost() const { return !hostAsked_ && !hostRegistered_; }

private slots:
    void hostRegistered();
    void askHost();

private:
    enum class Item { unregistered, registering, registered, refused };

    void enrol();
    void registerItem();
    void changed(Item item, bool hostRegistered);

    QString itemService_;
    QDBusServiceWatcher watcher_;
    // Counts the watcher's owners and the questions about its host, so that a late answer is not taken for a
    // later one.
    unsigned owners_ = 0;
    unsigned hostQuestions_ = 0;
    bool hostAsked_ = false;
    Item item_ = Item::unregistered;
    bool hostRegistered_ = false;
};

} // namespace orvik::helper
