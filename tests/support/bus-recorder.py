#!/usr/bin/env python3
"""Stands in for the desktop's notification service and for the login
manager on a private bus, and writes every call it gets as one line to a
record file, for the tests to read.

    bus-recorder.py BUS_ADDRESS RECORD_FILE

A notification is "clicked" a moment after it is shown, so that a test can
see the program answer the click. An inhibitor lock is a pipe: when the
program closes its end, "Released" is recorded."""
import os
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

record = open(sys.argv[2], "a", buffering=1, encoding="utf-8")


def note(*words):
    # One line per call: a line break inside a word is written as "\n".
    record.write(" ".join(str(word).replace("\n", "\\n") for word in words) + "\n")


class Notifications(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.last_id = 0

    @dbus.service.method("org.freedesktop.Notifications",
                         in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.last_id += 1
        note("Notify", app, summary, body, "|".join(actions))
        shown = self.last_id
        GLib.timeout_add(200, lambda: self.ActionInvoked(shown, "default") or False)
        return dbus.UInt32(shown)

    @dbus.service.signal("org.freedesktop.Notifications", signature="us")
    def ActionInvoked(self, shown, action):
        pass


class LoginManager(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/login1")

    @dbus.service.method("org.freedesktop.login1.Manager",
                         in_signature="ssss", out_signature="h")
    def Inhibit(self, what, who, why, mode):
        note("Inhibit", what, who, why, mode)
        ours, theirs = os.pipe()

        def released(fd, condition):
            note("Released", what)
            os.close(fd)
            return False

        GLib.io_add_watch(ours, GLib.IO_HUP | GLib.IO_ERR, released)
        lock = dbus.types.UnixFd(theirs)
        os.close(theirs)
        return lock


DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(sys.argv[1])
names = [dbus.service.BusName(name, bus) for name in
         ("org.freedesktop.Notifications", "org.freedesktop.login1")]
services = [Notifications(bus), LoginManager(bus)]
note("ready")
GLib.MainLoop().run()
