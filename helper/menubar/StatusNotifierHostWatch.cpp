#include "menubar/StatusNotifierHostWatch.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace orvik::helper {
namespace {

const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

QDBusMessage watcherCall(const QString& interface, const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(StatusNotifierHostWatch::watcherName),
                                                       watcherPath, interface, method);
    call.setArguments(arguments);
    // A watcher that does not run is not started for the question: the owner's coming is awaited instead.
    call.setAutoStartService(false);
    return call;
}

} // namespace

StatusNotifierHostWatch::StatusNotifierHostWatch(QString itemService, QObject* parent)
    : TrayHostWatch(parent), itemService_(std::move(itemService)),
      watcher_(QString::fromLatin1(watcherName), QDBusConnection::sessionBus(),
               QDBusServiceWatcher::WatchForOwnerChange) {
    const QString name = QString::fromLatin1(watcherName);
    connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                ++owners_;
                ++hostQuestions_;
                hostAsked_ = false;
                changed(Item::unregistered, false);
                if (!newOwner.isEmpty()) enrol();
            });
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(name, watcherPath, name, QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(hostRegistered()));
    bus.connect(name, watcherPath, name, QStringLiteral("StatusNotifierHostUnregistered"), this, SLOT(askHost()));
    // The watch above is in place before the first question: a watcher that comes meanwhile is not missed.
    enrol();
}

void StatusNotifierHostWatch::enrol() {
    askHost();
    registerItem();
}

void StatusNotifierHostWatch::registerItem() {
    if (itemService_.isEmpty()) return;
    item_ = Item::registering;
    const QDBusMessage registration =
        watcherCall(QString::fromLatin1(watcherName), QStringLiteral("RegisterStatusNotifierItem"), {itemService_});
    auto* reply = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(registration), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this, owner = owners_](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        if (owner != owners_) return;
        changed(call->isError() ? Item::refused : Item::registered, hostRegistered_);
    });
}

void StatusNotifierHostWatch::askHost() {
    QDBusMessage get =
        watcherCall(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                    {QString::fromLatin1(watcherName), QStringLiteral("IsStatusNotifierHostRegistered")});
    auto* reply = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
    hostAsked_ = true;
    connect(reply, &QDBusPendingCallWatcher::finished, this,
            [this, question = ++hostQuestions_](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (question != hostQuestions_) return;
                const QDBusPendingReply<QDBusVariant> answer = *call;
                hostAsked_ = false;
                changed(item_, !answer.isError() && answer.value().variant().toBool());
            });
}

void StatusNotifierHostWatch::hostRegistered() {
    // Settles any question still on its way.
    ++hostQuestions_;
    hostAsked_ = false;
    changed(item_, true);
    // The watcher answers now.
    if (item_ == Item::refused) registerItem();
}

void StatusNotifierHostWatch::changed(Item item, bool hostRegistered) {
    item_ = item;
    hostRegistered_ = hostRegistered;
    emit availabilityChanged();
}

} // namespace orvik::helper
