#!/usr/bin/python3
# A stand-in for the desktop on a private session bus: a StatusNotifierWatcher with a tray host,
# and a notification server. Prints "item <name>" for each item registered and "notify <summary>"
# for each notification. With --no-host it reports no host until SIGUSR1, when one registers.
# "tray_host.py close WINDOW" asks an X window to close, as a window manager's close button does.
import ctypes
import signal
import sys

from gi.repository import Gio, GLib

WATCHER = """<node><interface name="org.kde.StatusNotifierWatcher">
<method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
<method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
<property name="RegisteredStatusNotifierItems" type="as" access="read"/>
<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
<property name="ProtocolVersion" type="i" access="read"/>
<signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
<signal name="StatusNotifierHostRegistered"/>
</interface></node>"""
NOTIFICATIONS = """<node><interface name="org.freedesktop.Notifications">
<method name="Notify"><arg type="s"/><arg type="u"/><arg type="s"/><arg type="s"/><arg type="s"/>
<arg type="as"/><arg type="a{sv}"/><arg type="i"/><arg type="u" direction="out"/></method>
</interface></node>"""

host = "--no-host" not in sys.argv
items = []


def say(line):
    print(line, flush=True)


def watcher_call(connection, sender, path, interface, method, args, invocation):
    if method == "RegisterStatusNotifierItem":
        items.append(args[0])
        say("item " + args[0])
        connection.emit_signal(None, path, interface, "StatusNotifierItemRegistered", GLib.Variant("(s)", args))
    invocation.return_value(None)


def watcher_property(connection, sender, path, interface, name):
    return {"RegisteredStatusNotifierItems": GLib.Variant("as", items),
            "IsStatusNotifierHostRegistered": GLib.Variant("b", host),
            "ProtocolVersion": GLib.Variant("i", 0)}[name]


def notify(connection, sender, path, interface, method, args, invocation):
    say("notify " + args[3])
    invocation.return_value(GLib.Variant("(u)", (1,)))


def acquired(connection, name):
    say("owned " + name)


def bus_up(connection, name):
    watcher = Gio.DBusNodeInfo.new_for_xml(WATCHER).interfaces[0]
    connection.register_object("/StatusNotifierWatcher", watcher, watcher_call, watcher_property, None)
    notifications = Gio.DBusNodeInfo.new_for_xml(NOTIFICATIONS).interfaces[0]
    connection.register_object("/org/freedesktop/Notifications", notifications, notify, None, None)

    def host_arrives():
        global host
        host = True
        connection.emit_signal(None, "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                               "StatusNotifierHostRegistered", None)
        return GLib.SOURCE_REMOVE

    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, host_arrives)
    Gio.bus_own_name_on_connection(connection, "org.freedesktop.Notifications", 0, acquired, None)


def close(window):
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):  # an XEvent: 24 longs
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]

    display = x11.XOpenDisplay(None)
    event = ClientMessage(type=33, display=display, window=window, format=32,
                          message_type=x11.XInternAtom(display, b"WM_PROTOCOLS", 0))
    event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    x11.XFlush(display)


if sys.argv[1:2] == ["close"]:
    close(int(sys.argv[2]))
    sys.exit(0)
Gio.bus_own_name(Gio.BusType.SESSION, "org.kde.StatusNotifierWatcher", 0, bus_up, acquired, None)
GLib.MainLoop().run()
