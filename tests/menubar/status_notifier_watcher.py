"""A StatusNotifierWatcher on the session bus for python3-dbusmock: it takes every item's registration (listing it in
RegisteredStatusNotifierItems) and says a host is present, so Qt exports its tray icon over D-Bus. With the parameter
"refusals" it first refuses that many registrations, as a watcher that owns its name but does not answer yet."""

import dbus

BUS_NAME = "org.kde.StatusNotifierWatcher"
MAIN_OBJ = "/StatusNotifierWatcher"
MAIN_IFACE = "org.kde.StatusNotifierWatcher"
SYSTEM_BUS = False

REGISTER_ITEM = """
if self.refusals > 0:
    self.refusals -= 1
    raise dbus.exceptions.DBusException("not there yet", name="org.freedesktop.DBus.Error.UnknownObject")
items = self.Get("org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems")
self.Set("org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems",
         dbus.Array(list(items) + [args[0]], signature="s"))
"""


def load(mock, parameters):
    mock.refusals = parameters.get("refusals", 0)
    mock.AddMethods(MAIN_IFACE, [("RegisterStatusNotifierItem", "s", "", REGISTER_ITEM),
                                 ("RegisterStatusNotifierHost", "s", "", "")])
    mock.AddProperties(MAIN_IFACE, {
        "IsStatusNotifierHostRegistered": dbus.Boolean(True),
        "ProtocolVersion": dbus.Int32(0),
        "RegisteredStatusNotifierItems": dbus.Array([], signature="s"),
    })
