#!/usr/bin/python3
# A stand-in for the desktop's notification service on a private session bus: records every
# Notify call as one JSON line and emits ActionInvoked when the test asks for it.
# With --inhibited it also has the Inhibited property (do not disturb), first true.
# Usage: notification_service.py RECORD_FILE [--inhibited] [CAPABILITY...]
import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"


class Service(dbus.service.Object):
    def __init__(self, bus, record, capabilities, inhibited):
        super().__init__(bus, PATH)
        self.record = record
        self.capabilities = capabilities
        self.next_id = 1
        self.inhibited = inhibited  # None: the service has no such property

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == NAME and name == "Inhibited" and self.inhibited is not None:
            return dbus.Boolean(self.inhibited)
        raise dbus.exceptions.DBusException("no such property",
                                            name="org.freedesktop.DBus.Error.UnknownProperty")

    @dbus.service.method("org.postvane.TestControl", in_signature="b", out_signature="")
    def SetInhibited(self, value):
        self.inhibited = bool(value)

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return self.capabilities

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("stand-in", "tests", "1", "1.2")

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, timeout):
        notice_id = int(replaces_id) or self.next_id
        if not replaces_id:
            self.next_id += 1
        with open(self.record, "a", encoding="utf-8") as out:
            out.write(json.dumps({
                "app_name": str(app_name), "replaces_id": int(replaces_id), "id": notice_id,
                "app_icon": str(app_icon), "summary": str(summary), "body": str(body),
                "actions": [str(a) for a in actions],
                "hints": {str(k): str(v) for k, v in hints.items()},
            }) + "\n")
        return dbus.UInt32(notice_id)

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, notice_id):
        self.NotificationClosed(notice_id, 3)

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, notice_id, action_key):
        pass

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, notice_id, reason):
        pass

    # The test's own handle: make the service report a click on a notice.
    @dbus.service.method("org.postvane.TestControl", in_signature="us", out_signature="")
    def Invoke(self, notice_id, action_key):
        self.ActionInvoked(notice_id, action_key)


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    rest = sys.argv[2:]
    inhibited = True if "--inhibited" in rest else None
    service = Service(bus, sys.argv[1], [c for c in rest if c != "--inhibited"], inhibited)
    # Owned last, so a test that sees the name sees a service ready to answer.
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    loop = GLib.MainLoop()
    bus.add_signal_receiver(lambda *args: loop.quit(), "NameLost", "org.freedesktop.DBus")
    loop.run()
    del name, service


if __name__ == "__main__":
    main()
