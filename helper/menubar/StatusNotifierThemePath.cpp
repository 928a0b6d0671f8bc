#include "menubar/StatusNotifierThemePath.hpp"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMetaMethod>

namespace orvik::helper {
namespace {

// Qt's names for what it exports: the bus connection (and service) of each tray icon, numbered from 1 in the order
// the icons were made, and the item's path and interface.
const QString itemConnectionFormat = QStringLiteral("org.kde.StatusNotifierItem-%1-%2");
const QString itemPath = QStringLiteral("/StatusNotifierItem");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString themePathProperty = QStringLiteral("IconThemePath");
// A process shows one tray icon; more were made only where one was made again (as tests do).
constexpr int trayIconsAtMost = 64;
// Every method of the interface takes two arguments (a position, or a scroll's amount and direction).
constexpr int methodArguments = 2;

QDBusAbstractAdaptor* itemAdaptor(QObject* item) {
    for (auto* adaptor : item->findChildren<QDBusAbstractAdaptor*>(Qt::FindDirectChildrenOnly)) {
        const QMetaObject* meta = adaptor->metaObject();
        const int info = meta->indexOfClassInfo("D-Bus Interface");
        if (info >= 0 && QLatin1String(meta->classInfo(info).value()) == itemInterface) return adaptor;
    }
    return nullptr;
}

} // namespace

StatusNotifierThemePath::StatusNotifierThemePath(QString themePath, QObject* parent)
    : QDBusVirtualObject(parent), themePath_(std::move(themePath)) {}

StatusNotifierThemePath::~StatusNotifierThemePath() {
    if (connectionName_.isEmpty()) return;
    QDBusConnection connection(connectionName_);
    if (connection.objectRegisteredAt(itemPath) != this) return;
    connection.unregisterObject(itemPath);
    if (item_) connection.registerObject(itemPath, item_);
}

bool StatusNotifierThemePath::standIn() {
    for (int instance = trayIconsAtMost; instance >= 1; --instance) {
        const QString name = itemConnectionFormat.arg(QCoreApplication::applicationPid()).arg(instance);
        QDBusConnection connection(name);
        QObject* registered = connection.isConnected() ? connection.objectRegisteredAt(itemPath) : nullptr;
        if (registered == nullptr) continue;
        if (registered == this) return true;
        QDBusAbstractAdaptor* adaptor = itemAdaptor(registered);
        if (adaptor == nullptr) return false;
        connection.unregisterObject(itemPath);
        if (!connection.registerVirtualObject(itemPath, this)) {
            connection.registerObject(itemPath, registered);
            return false;
        }
        if (adaptor_ && adaptor_ != adaptor) disconnect(adaptor_, nullptr, this, nullptr);
        connectionName_ = name;
        item_ = registered;
        adaptor_ = adaptor;
        const QMetaObject* meta = adaptor->metaObject();
        const QMetaMethod relayNone = metaObject()->method(metaObject()->indexOfSlot("relay()"));
        const QMetaMethod relayOne = metaObject()->method(metaObject()->indexOfSlot("relayText(QString)"));
        for (int index = meta->methodOffset(); index < meta->methodCount(); ++index) {
            const QMetaMethod signal = meta->method(index);
            if (signal.methodType() != QMetaMethod::Signal) continue;
            if (signal.parameterCount() == 0) {
                connect(adaptor, signal, this, relayNone, Qt::UniqueConnection);
            } else if (signal.parameterCount() == 1 && signal.parameterMetaType(0) == QMetaType::fromType<QString>()) {
                connect(adaptor, signal, this, relayOne, Qt::UniqueConnection);
            }
        }
        // A host that read the item before it had a theme path reads the icon again.
        emitSignal(QStringLiteral("NewIcon"), {});
        return true;
    }
    return false;
}

QString StatusNotifierThemePath::introspect(const QString& /*path*/) const {
    if (!adaptor_) return {};
    const QMetaObject* meta = adaptor_->metaObject();
    const int info = meta->indexOfClassInfo("D-Bus Introspection");
    return info >= 0 ? QString::fromUtf8(meta->classInfo(info).value()) : QString();
}

bool StatusNotifierThemePath::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (!adaptor_) return false;
    const QDBusMessage reply = message.interface() == propertiesInterface ? properties(message) : invoke(message);
    // Anything else (introspection, a property of another interface) is answered by Qt.
    if (reply.type() == QDBusMessage::InvalidMessage) return false;
    if (message.isReplyRequired()) connection.send(reply);
    return true;
}

QDBusMessage StatusNotifierThemePath::properties(const QDBusMessage& call) const {
    const QVariantList arguments = call.arguments();
    if (arguments.value(0).toString() != itemInterface) return {};
    const QMetaObject* meta = adaptor_->metaObject();
    if (call.member() == QLatin1String("GetAll")) {
        QVariantMap values;
        for (int index = meta->propertyOffset(); index < meta->propertyCount(); ++index) {
            values.insert(QString::fromLatin1(meta->property(index).name()), meta->property(index).read(adaptor_));
        }
        values.insert(themePathProperty, themePath_);
        return call.createReply(QVariant::fromValue(values));
    }
    if (call.member() != QLatin1String("Get")) {
        return call.createErrorReply(QDBusError::PropertyReadOnly,
                                     QStringLiteral("The item's properties are read-only"));
    }
    const QString name = arguments.value(1).toString();
    if (name == themePathProperty) return call.createReply(QVariant::fromValue(QDBusVariant(themePath_)));
    const int index = meta->indexOfProperty(name.toLatin1().constData());
    if (index < meta->propertyOffset()) {
        return call.createErrorReply(QDBusError::UnknownProperty, QStringLiteral("No property ") + name);
    }
    return call.createReply(QVariant::fromValue(QDBusVariant(meta->property(index).read(adaptor_))));
}

QDBusMessage StatusNotifierThemePath::invoke(const QDBusMessage& call) const {
    if (!call.interface().isEmpty() && call.interface() != itemInterface) return {};
    const QMetaObject* meta = adaptor_->metaObject();
    for (int index = meta->methodOffset(); index < meta->methodCount(); ++index) {
        const QMetaMethod method = meta->method(index);
        if (method.methodType() != QMetaMethod::Slot || method.name() != call.member().toLatin1()) continue;
        QVariantList arguments = call.arguments();
        if (method.parameterCount() != methodArguments || arguments.size() != methodArguments ||
            !arguments[0].convert(method.parameterMetaType(0)) || !arguments[1].convert(method.parameterMetaType(1))) {
            return call.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("Wrong arguments"));
        }
        method.invoke(adaptor_, Qt::DirectConnection,
                      QGenericArgument(arguments[0].typeName(), arguments[0].constData()),
                      QGenericArgument(arguments[1].typeName(), arguments[1].constData()));
        return call.createReply();
    }
    return call.interface().isEmpty() ? QDBusMessage()
                                      : call.createErrorReply(QDBusError::UnknownMethod, call.member());
}

void StatusNotifierThemePath::relay() {
    if (sender() == nullptr) return;
    emitSignal(QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name()), {});
}

void StatusNotifierThemePath::relayText(const QString& text) {
    if (sender() == nullptr) return;
    emitSignal(QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name()), {text});
}

void StatusNotifierThemePath::emitSignal(const QString& name, const QVariantList& arguments) {
    QDBusMessage signal = QDBusMessage::createSignal(itemPath, itemInterface, name);
    signal.setArguments(arguments);
    QDBusConnection(connectionName_).send(signal);
}

} // namespace orvik::helper
