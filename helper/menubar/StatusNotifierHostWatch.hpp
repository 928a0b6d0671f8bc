#pragma once

#include "menubar/TrayHostWatch.hpp"

#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QString>
#include <QTimer>

namespace orvik::helper {

// The StatusNotifierItem tray: there while the item is registered with the StatusNotifierWatcher and the watcher
// says a host (a panel showing the items it lists) is registered. The item is registered with every watcher that
// takes the watcher's name, at the start or at any time later (a panel that starts after the application, or
// starts again): the bus's name-owner changes and the watcher's host signals are followed, nothing is asked again
// and again. Each watcher that comes gets one registration: one still on its way when a watcher comes counts for
// it if that watcher took it. A watcher may take its name a moment before it answers there: a registration it
// refused (or a question it left unanswered) is made again when it next speaks, as a host registers with it, or
// after a while, less often each time. Used on the GUI thread.
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

    void ownerChanged(const QString& owner);
    void registerItem();
    void registrationAnswered(const QDBusMessage& reply);
    void retryLater();
    void retry();
    void changed(Item item, bool hostRegistered);

    QString itemService_;
    QDBusServiceWatcher watcher_;
    // The watcher's owner (its unique name) since it last changed; empty while none runs.
    QString owner_;
    // The owner that took the item's last registration.
    QString registeredWith_;
    // Counts the watcher's owners and the questions about its host, so that a late answer is not taken for a
    // later one.
    unsigned owners_ = 0;
    unsigned hostQuestions_ = 0;
    bool hostAsked_ = false;
    // The last question about the host got no answer, only an error.
    bool hostUnanswered_ = false;
    Item item_ = Item::unregistered;
    bool hostRegistered_ = false;
    QTimer retry_;
    // Retries since the watcher came.
    int retries_ = 0;
};

} // namespace orvik::helper
