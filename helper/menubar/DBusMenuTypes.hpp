#pragma once

#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace orvik::helper {

// The values of the com.canonical.dbusmenu interface as they travel on the bus. Lists of them are written out as
// QList<…> in the members exported on the bus: Qt D-Bus looks their types up by the name written there.

// A menu item and, as deep as asked, its children: (ia{sv}av), each child a variant holding the same structure.
struct DBusMenuLayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};

// An item's properties: (ia{sv}).
struct DBusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};

// The names of properties an item no longer has: (ias).
struct DBusMenuItemPropertyNames {
    int id = 0;
    QStringList names;
};

// What happened to an item ("clicked", "hovered", "opened", "closed"): (isvu).
struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};

// A shortcut: one list of key names per key press ("Control", "Q").
using DBusMenuShortcut = QList<QStringList>;

// Makes the types above known to Qt D-Bus; call before the menu is exported (again is harmless).
void registerDBusMenuTypes();

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemPropertyNames& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemPropertyNames& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event);

} // namespace orvik::helper

Q_DECLARE_METATYPE(orvik::helper::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(orvik::helper::DBusMenuItemProperties)
Q_DECLARE_METATYPE(orvik::helper::DBusMenuItemPropertyNames)
Q_DECLARE_METATYPE(orvik::helper::DBusMenuEvent)
