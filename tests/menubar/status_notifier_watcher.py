"""A StatusNotifierWatcher on the session bus for python3-dbusmock: it takes every item's registration and says a
host is present, so Qt exports its tray icon over D-Bus."""

import dbus

BUS_NAME = "org.kde.StatusNotifierWatcher"
MAIN_OBJ = "/StatusNotifierWatcher"
MAIN_IFACE = "org.kde.StatusNotifierWatcher"
SYSTEM_BUS = False


def load(mock, parameters):
    mock.AddMethods(MAIN_IFACE, [("RegisterStatusNotifierItem", "s", "", ""),
                                 ("RegisterStatusNotifierHost", "s", "", "")])
    mock.AddProperties(MAIN_IFACE, {
        "IsStatusNotifierHostRegistered": dbus.Boolean(True),
        "ProtocolVersion": dbus.Int32(0),
        "RegisteredStatusNotifierItems": dbus.Array([], signature="s"),
    })
