#!/usr/bin/python3
"""The notification area of a panel that speaks StatusNotifierItem: it owns
org.kde.StatusNotifierWatcher on the session bus, says a host is present, keeps the list
of registered items and drops an item when its owner leaves the bus, as a panel does.

    sni_host.py            (DBUS_SESSION_BUS_ADDRESS names the bus)

Prints "READY" once the name is owned. SIGTERM ends it (a panel that goes away).
"""
import signal
import sys

from gi.repository import Gio, GLib

XML = """<node><interface name="org.kde.StatusNotifierWatcher">
<method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
<method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
<property name="RegisteredStatusNotifierItems" type="as" access="read"/>
<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
<property name="ProtocolVersion" type="i" access="read"/>
<signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
<signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
<signal name="StatusNotifierHostRegistered"/>
</interface></node>"""
IFACE = "org.kde.StatusNotifierWatcher"
PATH = "/StatusNotifierWatcher"

items = []  # "busname/path"


def emit(conn, signal_name, value):
    conn.emit_signal(None, PATH, IFACE, signal_name, GLib.Variant("(s)", (value,)))


def on_call(conn, sender, path, iface, method, params, invocation):
    if method == "RegisterStatusNotifierItem":
        arg = params.unpack()[0]
        # The argument is a bus name or an object path on the caller's connection.
        item = sender + arg if arg.startswith("/") else arg + "/StatusNotifierItem"
        if item not in items:
            items.append(item)
            emit(conn, "StatusNotifierItemRegistered", item)
    invocation.return_value(None)


def on_get(conn, sender, path, iface, prop):
    return {"RegisteredStatusNotifierItems": GLib.Variant("as", items),
            "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
            "ProtocolVersion": GLib.Variant("i", 0)}[prop]


def on_owner_changed(conn, sender, path, iface, signal_name, params):
    name, _old, new = params.unpack()
    if new:
        return
    for item in [i for i in items if i.split("/", 1)[0] == name]:
        items.remove(item)
        emit(conn, "StatusNotifierItemUnregistered", item)


def on_acquired(conn, name):
    print("READY", flush=True)


def on_bus(conn, name):
    conn.register_object(PATH, Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0],
                         on_call, on_get, None)
    conn.signal_subscribe("org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
                          "/org/freedesktop/DBus", None, Gio.DBusSignalFlags.NONE,
                          on_owner_changed)


def on_lost(conn, name):
    sys.exit("could not own " + IFACE)


def main():
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    Gio.bus_own_name(Gio.BusType.SESSION, IFACE, Gio.BusNameOwnerFlags.NONE,
                     on_bus, on_acquired, on_lost)
    loop.run()


if __name__ == "__main__":
    main()
