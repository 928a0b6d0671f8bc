#pragma once

#include <QByteArray>
#include <QDBusArgument>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QString>

namespace orvik::helper {

// The values of the org.kde.StatusNotifierItem interface as they travel on the bus (lists written out as
// QList<…> where exported, as DBusMenuTypes.hpp says).

// One size of an icon: width, height and the pixels, each 32-bit ARGB in network byte order: (iiay).
struct StatusNotifierPixmap {
    int width = 0;
    int height = 0;
    QByteArray pixels;

    static StatusNotifierPixmap of(const QImage& image);
};

// A tooltip: an icon's name, its pixmaps, a title and a text: (sa(iiay)ss).
struct StatusNotifierToolTip {
    QString iconName;
    QList<StatusNotifierPixmap> pixmaps;
    QString title;
    QString text;
};

// Makes the types above known to Qt D-Bus; call before the item is exported (again is harmless).
void registerStatusNotifierTypes();

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierToolTip& toolTip);

} // namespace orvik::helper

Q_DECLARE_METATYPE(orvik::helper::StatusNotifierPixmap)
Q_DECLARE_METATYPE(orvik::helper::StatusNotifierToolTip)
