"""The settings portal on the session bus for python3-dbusmock: it answers every Read with the appearance's
color-scheme (the parameter "color-scheme", 0 by default) as portals before version 2 of the interface do, a variant
in a variant. A change is sent with the mock's EmitSignal."""

import dbus

BUS_NAME = "org.freedesktop.portal.Desktop"
MAIN_OBJ = "/org/freedesktop/portal/desktop"
MAIN_IFACE = "org.freedesktop.portal.Settings"
SYSTEM_BUS = False


def load(mock, parameters):
    mock.scheme = dbus.UInt32(parameters.get("color-scheme", 0), variant_level=1)
    mock.AddMethods(MAIN_IFACE, [("Read", "ss", "v", "ret = self.scheme")])
