#include "menubar/StatusNotifierHostWatch.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <utility>

namespace orvik::helper {
namespace {

const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
// A watcher that does not answer yet is asked again after this, twice as long each time, a few times.
constexpr std::chrono::milliseconds firstRetry{100};
constexpr int retriesAtMost = 7;

QDBusMessage watcherCall(const QString& interface, const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(StatusNotifierHostWatch::watcherName),
                                                       watcherPath, interface, method);
    call.setArguments(arguments);
    // A watcher that does not run is not started for the question: the owner's coming is awaited instead.
    call.setAutoStartService(false);
    return call;
}

// Whether an error says that no watcher runs: its coming is awaited, not asked for.
bool watcherMissing(const QString& error) {
    return error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

} // namespace

StatusNotifierHostWatch::StatusNotifierHostWatch(QString itemService, QObject* parent)
    : TrayHostWatch(parent), itemService_(std::move(itemService)),
      watcher_(QString::fromLatin1(watcherName), QDBusConnection::sessionBus(),
               QDBusServiceWatcher::WatchForOwnerChange) {
    const QString name = QString::fromLatin1(watcherName);
    connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) { ownerChanged(newOwner); });
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(name, watcherPath, name, QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(hostRegistered()));
    bus.connect(name, watcherPath, name, QStringLiteral("StatusNotifierHostUnregistered"), this, SLOT(askHost()));
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &StatusNotifierHostWatch::retry);
    // The watch above is in place before the first question: a watcher that comes meanwhile is not missed.
    askHost();
    registerItem();
}

void StatusNotifierHostWatch::ownerChanged(const QString& owner) {
    owner_ = owner;
    ++owners_;
    ++hostQuestions_;
    hostAsked_ = false;
    hostUnanswered_ = false;
    retry_.stop();
    retries_ = 0;
    // A registration on its way may reach this watcher: its answer tells. One this watcher took already counts.
    Item item = item_ == Item::registering ? Item::registering : Item::unregistered;
    if (!owner.isEmpty() && owner == registeredWith_) item = Item::registered;
    changed(item, false);
    if (owner.isEmpty()) return;
    askHost();
    registerItem();
}

void StatusNotifierHostWatch::registerItem() {
    if (itemService_.isEmpty() || item_ == Item::registering || item_ == Item::registered) return;
    item_ = Item::registering;
    const QDBusMessage registration =
        watcherCall(QString::fromLatin1(watcherName), QStringLiteral("RegisterStatusNotifierItem"), {itemService_});
    auto* reply = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(registration), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        registrationAnswered(call->reply());
    });
}

void StatusNotifierHostWatch::registrationAnswered(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage) {
        changed(Item::refused, hostRegistered_);
        // Where no watcher runs, its coming is awaited.
        if (!owner_.isEmpty() || !watcherMissing(reply.errorName())) retryLater();
        return;
    }
    registeredWith_ = reply.service();
    // The watcher that ran at the start, before any came or went.
    if (owners_ == 0) owner_ = registeredWith_;
    if (registeredWith_ == owner_) {
        changed(Item::registered, hostRegistered_);
        return;
    }
    // Taken by a watcher gone since: its successor is asked, or awaited.
    item_ = Item::unregistered;
    if (!owner_.isEmpty()) registerItem();
}

void StatusNotifierHostWatch::retryLater() {
    if (retry_.isActive() || retries_ >= retriesAtMost) return;
    retry_.start(firstRetry * (1 << retries_++));
}

void StatusNotifierHostWatch::retry() {
    if (item_ == Item::refused) registerItem();
    if (std::exchange(hostUnanswered_, false)) askHost();
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
                if (answer.isError() && !watcherMissing(answer.error().name())) {
                    hostUnanswered_ = true;
                    retryLater();
                }
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
