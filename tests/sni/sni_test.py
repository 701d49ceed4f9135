#!/usr/bin/env python3
"""The Linux tray against a tray of our own on a private session bus.

Run under dbus-run-session, one scenario per run:

    dbus-run-session -- python3 sni_test.py SCENARIO --monitor EXE \
        --companions DIR --art MAKE_ART

    python3 sni_test.py --serve SECONDS

The second form only keeps a watcher with a host on the session bus for a
while (to measure the monitor with a tray, or to try it by hand).

The test plays the desktop's side: a StatusNotifierWatcher (on a connection
of its own, so that it can leave and come back as a new owner) and a host
that reads the item's properties and its D-Bus menu and clicks the menu's
entries. The monitor is the real program, in a temporary program folder with
the stand-in companions and one profile, its standard input, output and
error in pipes.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import types

import dbus
import dbus.bus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
ITEM_IFACE = "org.kde.StatusNotifierItem"
MENU_IFACE = "com.canonical.dbusmenu"
PROPS = "org.freedesktop.DBus.Properties"
NOTIFICATIONS = "org.freedesktop.Notifications"
NOTIFICATIONS_PATH = "/org/freedesktop/Notifications"
REMINDER_TITLE = " Thalix Not Found"

# The popup menu in order: (label, visible, kind) with kind "separator",
# "toggle" or "standard".
EXPECTED_MENU = [
    ("About...", True, "standard"),
    ("Customize...", True, "standard"),
    (None, False, "separator"),
    ("*BETA* Enable Mouse * BETA*", False, "toggle"),
    (None, True, "separator"),
    ("Web update...", True, "standard"),
    ("Startup settings...", True, "standard"),
    (None, True, "separator"),
    ("Suspend", True, "toggle"),
    ("Exit", True, "standard"),
]

PROFILE = ("[VERSION]\r\nVERSION=6.1\r\n[IDENTIFICATION]\r\nAPPLICATION_NAME=Tray Game\r\n"
           "[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\nEXECUTABLE=\"traygame.exe\"\r\n")

COMPANIONS = ("Zephcontrol.exe", "ZephEvent.exe", "zephcfg.exe", "zephweb.exe")


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def pump(seconds=0.0):
    """Runs the main loop for a while (what arrived is handled)."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while True:
        while context.iteration(False):
            pass
        if time.monotonic() >= end:
            return
        time.sleep(0.01)


def wait_for(what, condition, timeout=10.0):
    end = time.monotonic() + timeout
    while True:
        pump()
        value = condition()
        if value:
            return value
        if time.monotonic() >= end:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.02)


# --- the desktop's side


class Watcher(dbus.service.Object):
    """A StatusNotifierWatcher on its own connection; closing that
    connection is the watcher ending."""

    def __init__(self, address, host):
        self.own_connection = dbus.bus.BusConnection(address)
        self.name = dbus.service.BusName(WATCHER, self.own_connection)
        super().__init__(self.own_connection, WATCHER_PATH)
        self.items = []  # (service as given, sender)
        self.host = host

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        self.items.append((str(service), str(sender)))
        self.StatusNotifierItemRegistered(service)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        self.add_host()

    def add_host(self):
        self.host = True
        self.StatusNotifierHostRegistered()

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="")
    def StatusNotifierHostRegistered(self):
        pass

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {
            "RegisteredStatusNotifierItems": dbus.Array(
                [s for s, _ in self.items], signature="s"),
            "IsStatusNotifierHostRegistered": dbus.Boolean(self.host),
            "ProtocolVersion": dbus.Int32(0),
        }

    def end(self):
        self.remove_from_connection()
        self.name = None  # gives the name up while the connection is open
        self.own_connection.close()


class Host:
    """Reads an item and its menu, and records the signals they send."""

    def __init__(self, bus, service, sender):
        self.bus = bus
        # The item as the watcher was told: a bus name (its path is the
        # usual one) or an object path on the sender.
        if service.startswith("/"):
            self.owner, self.path = sender, service
        else:
            self.owner, self.path = service, "/StatusNotifierItem"
        self.signals = []
        for member in ("NewIcon", "NewToolTip", "NewTitle", "NewStatus"):
            bus.add_signal_receiver(self._recorder(member), signal_name=member,
                                    dbus_interface=ITEM_IFACE, path=self.path)
        self.item = bus.get_object(self.owner, self.path, introspect=False)
        self.menu_path = str(self.property("Menu"))
        self.menu = bus.get_object(self.owner, self.menu_path, introspect=False)
        for member in ("LayoutUpdated", "ItemsPropertiesUpdated"):
            bus.add_signal_receiver(self._recorder(member), signal_name=member,
                                    dbus_interface=MENU_IFACE, path=self.menu_path)

    def _recorder(self, member):
        def record(*args):
            self.signals.append((member, args))
        return record

    def property(self, name):
        return self.item.Get(ITEM_IFACE, name, dbus_interface=PROPS)

    def layout(self):
        revision, (root, props, children) = self.menu.GetLayout(
            0, -1, dbus.Array([], signature="s"), dbus_interface=MENU_IFACE)
        check(root == 0, "the layout's root is item %d" % root)
        check(props.get("children-display") == "submenu",
              "the root does not show a submenu: %r" % dict(props))
        return revision, [(int(i), dict(p)) for i, p, _ in children]

    def entry_id(self, label):
        for item_id, props in self.layout()[1]:
            if props.get("label") == label:
                return item_id
        raise Failure("no menu entry " + label)

    def click(self, label):
        self.menu.Event(self.entry_id(label), "clicked", dbus.Int32(0, variant_level=1),
                        dbus.UInt32(0), dbus_interface=MENU_IFACE)

    def toggle_state(self, label):
        for _, props in self.layout()[1]:
            if props.get("label") == label:
                return int(props.get("toggle-state", -1))
        raise Failure("no menu entry " + label)

    def seen(self, member):
        return [args for m, args in self.signals if m == member]


class NotificationServer(dbus.service.Object):
    """A notification server that records what it is asked to show and
    answers as the test says: an action chosen, or closed without one."""

    def __init__(self, address, capabilities=("actions", "body", "body-markup")):
        self.own_connection = dbus.bus.BusConnection(address)
        self.name = dbus.service.BusName(NOTIFICATIONS, self.own_connection)
        super().__init__(self.own_connection, NOTIFICATIONS_PATH)
        self.capabilities = list(capabilities)
        self.shown = []  # each Notify as a namespace
        self.next_id = 1

    @dbus.service.method(NOTIFICATIONS, out_signature="as")
    def GetCapabilities(self):
        return dbus.Array(self.capabilities, signature="s")

    @dbus.service.method(NOTIFICATIONS, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        notice_id = int(replaces) or self.next_id
        self.next_id += 1 if not replaces else 0
        self.shown.append(types.SimpleNamespace(
            id=notice_id, app=str(app), replaces=int(replaces), icon=str(icon),
            summary=str(summary), body=str(body),
            actions=dict(zip([str(a) for a in actions[::2]], [str(a) for a in actions[1::2]])),
            urgency=int(hints.get("urgency", 1)), timeout=int(timeout)))
        return dbus.UInt32(notice_id)

    @dbus.service.method(NOTIFICATIONS, in_signature="u")
    def CloseNotification(self, notice_id):
        self.NotificationClosed(notice_id, 3)

    @dbus.service.method(NOTIFICATIONS, out_signature="ssss")
    def GetServerInformation(self):
        return ("test", "zeph", "1", "1.2")

    @dbus.service.signal(NOTIFICATIONS, signature="us")
    def ActionInvoked(self, notice_id, key):
        pass

    @dbus.service.signal(NOTIFICATIONS, signature="uu")
    def NotificationClosed(self, notice_id, reason):
        pass

    def notice(self, what, summary):
        return wait_for(what, lambda: next(
            (n for n in reversed(self.shown) if n.summary == summary), None))

    def choose(self, notice, key):
        check(key in notice.actions, "no action %r in %r" % (key, notice.actions))
        self.ActionInvoked(notice.id, key)
        self.NotificationClosed(notice.id, 2)

    def dismiss(self, notice):
        self.NotificationClosed(notice.id, 2)


# --- the monitor


class Monitor:
    def __init__(self, exe, companions):
        self.root = tempfile.mkdtemp(prefix="zeph-sni-")
        self.prog = os.path.join(self.root, "prog")
        os.makedirs(os.path.join(self.prog, "wyn"))
        os.makedirs(os.path.join(self.prog, "games"))
        for name in ("config", "run", "state", "data"):
            os.makedirs(os.path.join(self.root, name))
        shutil.copy(exe, os.path.join(self.prog, "ZephMonitor"))
        for name in COMPANIONS:
            shutil.copy(os.path.join(companions, name), os.path.join(self.prog, name))
        with open(os.path.join(self.prog, "wyn", "tray.wyn"), "w", newline="") as f:
            f.write(PROFILE)
        self.env = dict(os.environ)
        self.env.pop("ZEPHMONITOR_DESKTOP", None)
        self.env.update({
            "XDG_CONFIG_HOME": os.path.join(self.root, "config"),
            "XDG_RUNTIME_DIR": os.path.join(self.root, "run"),
            "XDG_STATE_HOME": os.path.join(self.root, "state"),
            # No icon theme of ours: the pixmaps are what a host draws.
            "XDG_DATA_HOME": os.path.join(self.root, "data"),
            "XDG_DATA_DIRS": os.path.join(self.root, "data"),
        })
        self.process = None
        self.out = []
        self.err = []

    def start(self, *args):
        self.process = subprocess.Popen(
            [os.path.join(self.prog, "ZephMonitor")] + list(args), cwd=self.prog, env=self.env,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        for stream, lines in ((self.process.stdout, self.out), (self.process.stderr, self.err)):
            threading.Thread(target=self._read, args=(stream, lines), daemon=True).start()

    @staticmethod
    def _read(stream, lines):
        for line in stream:
            lines.append(line.decode("latin-1").rstrip("\n"))

    def type(self, command):
        self.process.stdin.write((command + "\n").encode())
        self.process.stdin.flush()

    def errors(self):
        return "\n".join(self.err)

    def sni_lines(self):
        return [line for line in list(self.err) if line.startswith("sni: ")]

    def mode(self):
        try:
            with open(os.path.join(self.prog, "zephmon.ini"), newline="") as f:
                text = f.read()
        except OSError:
            return None
        for line in text.splitlines():
            if line.upper().startswith("MODE="):
                return line[5:]
        return None

    def companion_pids(self, name):
        pids = []
        target = os.path.join(self.prog, name)
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    if os.readlink("/proc/%s/exe" % entry) == target:
                        pids.append(int(entry))
                except OSError:
                    pass
        return pids

    def close(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        for name in COMPANIONS:
            for pid in self.companion_pids(name):
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass
        shutil.rmtree(self.root, ignore_errors=True)


# --- the art, as make-art draws it


def make_art_module(make_art):
    # The script has no .py name: its text is run as a module of its own.
    art = types.ModuleType("make_art")
    with open(make_art) as f:
        exec(compile(f.read(), make_art, "exec"), art.__dict__)
    return art


def drawn_pixmaps(make_art, scene_name):
    art = make_art_module(make_art)
    scene = getattr(art, scene_name)
    pixmaps = []
    for size in (16, 22, 32, 48):
        data = bytearray()
        for row in art.render(scene(size), size):
            for r, g, b, a in row:
                data += bytes((a, r, g, b))
        pixmaps.append((size, size, bytes(data)))
    return pixmaps


def pixmaps_of(value):
    return [(int(w), int(h), bytes(bytearray(data))) for w, h, data in value]


# --- scenarios


class Scenario:
    def __init__(self, options):
        self.options = options
        DBusGMainLoop(set_as_default=True)
        self.address = os.environ["DBUS_SESSION_BUS_ADDRESS"]
        self.bus = dbus.SessionBus()
        self.monitor = Monitor(options.monitor, options.companions)
        self.watcher = None

    def start_server(self, **kwargs):
        return NotificationServer(self.address, **kwargs)

    def start_watcher(self, host=True):
        self.watcher = Watcher(self.address, host)
        return self.watcher

    def registered_host(self, count=1):
        items = wait_for("the item's registration", lambda: len(self.watcher.items) >= count and
                         self.watcher.items)
        service, sender = items[count - 1]
        return Host(self.bus, service, sender)

    def shown_line(self, count=1):
        wait_for("the line that the tray shows the icon",
                 lambda: self.monitor.sni_lines().count("sni: the desktop's tray shows the icon")
                 >= count)

    def run(self, name):
        try:
            getattr(self, "scenario_" + name)()
        finally:
            self.monitor.close()

    # The item's registration and its properties, and the menu's layout.
    def scenario_registration(self):
        self.start_watcher()
        self.monitor.start()
        host = self.registered_host()
        service, sender = self.watcher.items[0]
        check(service == "org.kde.StatusNotifierItem-%d-1" % self.monitor.process.pid,
              "registered as " + service)
        check(self.bus.get_name_owner(service) == sender, "the name is not the sender's")
        self.shown_line()
        props = host.item.GetAll(ITEM_IFACE, dbus_interface=PROPS)
        check(props["Category"] == "ApplicationStatus", "Category %s" % props["Category"])
        check(props["Id"] == "ZephMonitor", "Id %s" % props["Id"])
        check(props["Title"] == "Thalix Monitor", "Title %s" % props["Title"])
        check(props["Status"] == "Active", "Status %s" % props["Status"])
        check(props["IconName"] == "", "IconName %r without an icon theme" % props["IconName"])
        check(not props["ItemIsMenu"], "ItemIsMenu is set")
        check(props["Menu"] == "/MenuBar", "Menu %s" % props["Menu"])
        icon_name, icon_pixmaps, title, text = props["ToolTip"]
        check(title == "Thalix Monitor" and text == "",
              "ToolTip %r, %r" % (title, text))
        check(pixmaps_of(props["IconPixmap"]) ==
              drawn_pixmaps(self.options.art, "monitoring_scene"),
              "IconPixmap is not the monitoring icon at 16, 22, 32 and 48 pixels")

        menu_props = host.menu.GetAll(MENU_IFACE, dbus_interface=PROPS)
        check(menu_props["Version"] >= 3, "dbusmenu version %s" % menu_props["Version"])
        revision, items = host.layout()
        check(len(items) == len(EXPECTED_MENU),
              "%d menu items instead of %d" % (len(items), len(EXPECTED_MENU)))
        ids = set()
        for (item_id, props), (label, visible, kind) in zip(items, EXPECTED_MENU):
            ids.add(item_id)
            check(bool(props.get("visible", True)) == visible,
                  "item %d (%s): visible %s" % (item_id, label, props.get("visible")))
            if kind == "separator":
                check(props.get("type") == "separator", "item %d is no separator" % item_id)
                continue
            check(props.get("label") == label,
                  "item %d: label %r instead of %r" % (item_id, props.get("label"), label))
            check(props.get("type", "standard") == "standard", "item %d: type" % item_id)
            if kind == "toggle":
                check(props.get("toggle-type") == "checkmark" and props.get("toggle-state") == 0,
                      "item %d (%s): not an unticked check mark" % (item_id, label))
            else:
                check("toggle-type" not in props, "item %d (%s) is a toggle" % (item_id, label))
        check(len(ids) == len(items) and 0 not in ids, "menu ids are not distinct")
        # The same through the group call a host makes before it shows items.
        group = host.menu.GetGroupProperties(dbus.Array(sorted(ids), signature="i"),
                                             dbus.Array(["label"], signature="s"),
                                             dbus_interface=MENU_IFACE)
        labels = [dict(p).get("label") for _, p in group]
        check(labels == [label for label, _, _ in EXPECTED_MENU],
              "group labels %r" % labels)
        check(host.menu.AboutToShow(0, dbus_interface=MENU_IFACE) is not None, "AboutToShow")
        # An unknown id is an error, not a crash.
        try:
            host.menu.Event(999, "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
                            dbus_interface=MENU_IFACE)
            raise Failure("Event for an unknown id was answered")
        except dbus.DBusException:
            pass
        check(self.monitor.process.poll() is None, "the monitor ended")

    # Suspend from the menu, then resume; then Exit ends the program.
    def scenario_menu_clicks(self):
        self.start_watcher()
        self.monitor.start()
        host = self.registered_host()
        self.shown_line()
        wait_for("MODE=ACTIVE", lambda: self.monitor.mode() == "ACTIVE")
        suspended = drawn_pixmaps(self.options.art, "suspended_scene")
        monitoring = drawn_pixmaps(self.options.art, "monitoring_scene")

        host.click("Suspend")
        wait_for("MODE=SUSPEND", lambda: self.monitor.mode() == "SUSPEND")
        wait_for("NewIcon", lambda: host.seen("NewIcon"))
        wait_for("the check mark's update", lambda: host.seen("ItemsPropertiesUpdated"))
        check(host.toggle_state("Suspend") == 1, "Suspend is not ticked")
        updated, removed = host.seen("ItemsPropertiesUpdated")[-1]
        check([(int(i), dict(p)) for i, p in updated] ==
              [(host.entry_id("Suspend"), {"toggle-state": 1})],
              "ItemsPropertiesUpdated says %r" % (updated,))
        check(pixmaps_of(host.property("IconPixmap")) == suspended,
              "the icon is not the suspended one")
        check(host.property("ToolTip")[2] == "Thalix Monitor - Suspended",
              "tip %s" % host.property("ToolTip")[2])

        host.signals.clear()
        host.click("Suspend")
        wait_for("MODE=ACTIVE again", lambda: self.monitor.mode() == "ACTIVE")
        wait_for("NewIcon", lambda: host.seen("NewIcon"))
        wait_for("the check mark's update", lambda: host.seen("ItemsPropertiesUpdated"))
        check(host.toggle_state("Suspend") == 0, "Suspend is still ticked")
        check(pixmaps_of(host.property("IconPixmap")) == monitoring,
              "the icon is not the monitoring one")

        item_name = self.watcher.items[0][0]
        host.click("Exit")
        wait_for("the end of the program", lambda: self.monitor.process.poll() is not None)
        check(self.monitor.process.returncode == 0,
              "exit code %d" % self.monitor.process.returncode)
        check(self.monitor.mode() == "", "MODE is %r after Exit" % self.monitor.mode())
        check(not self.bus.name_has_owner(item_name), "the item's name outlived the program")

    # With the icon theme's images installed, a host is also given their names.
    def scenario_theme_icons(self):
        data = self.monitor.env["XDG_DATA_HOME"]
        for name in ("zephmonitor", "zephmonitor-suspended"):
            folder = os.path.join(data, "icons", "hicolor", "48x48", "apps")
            os.makedirs(folder, exist_ok=True)
            open(os.path.join(folder, name + ".png"), "wb").close()
        self.start_watcher()
        self.monitor.start()
        host = self.registered_host()
        wait_for("MODE=ACTIVE", lambda: self.monitor.mode() == "ACTIVE")
        check(host.property("IconName") == "zephmonitor", "IconName %s" % host.property("IconName"))
        check(host.property("ToolTip")[0] == "zephmonitor", "the tip's icon is not named")
        check(len(host.property("IconPixmap")) == 4, "no pixmaps beside the name")
        host.click("Suspend")
        wait_for("NewIcon", lambda: host.seen("NewIcon"))
        check(host.property("IconName") == "zephmonitor-suspended",
              "IconName %s while suspended" % host.property("IconName"))

    # The primary click activates the icon: the customizer, suspended first.
    def scenario_activate(self):
        self.start_watcher()
        self.monitor.start()
        host = self.registered_host()
        wait_for("MODE=ACTIVE", lambda: self.monitor.mode() == "ACTIVE")
        host.item.Activate(10, 10, dbus_interface=ITEM_IFACE)
        wait_for("the customizer", lambda: self.monitor.companion_pids("zephcfg.exe"))
        wait_for("MODE=SUSPEND", lambda: self.monitor.mode() == "SUSPEND")
        check(host.toggle_state("Suspend") == 1, "Suspend is not ticked")

    # The watcher ends and a new one starts: the item registers again.
    def scenario_watcher_restart(self):
        self.start_watcher()
        self.monitor.start()
        self.registered_host()
        self.shown_line()
        first_sender = self.watcher.items[0][1]
        self.watcher.end()
        wait_for("the line that the watcher left", lambda: any(
            "StatusNotifierWatcher left" in line and "terminal stands in" in line
            for line in self.monitor.sni_lines()))
        # Meanwhile the terminal answers for the menu.
        self.monitor.type("menu")
        wait_for("the terminal's menu", lambda: "=== Popup Menu ===" in self.monitor.err)
        self.start_watcher()
        host = self.registered_host()
        check(self.watcher.items[0][1] == first_sender, "registered from another connection")
        self.shown_line(2)
        check(host.property("Id") == "ZephMonitor", "the item does not answer")
        check(host.toggle_state("Suspend") == 0, "the menu does not answer")

    # No watcher: the terminal stands in and the program keeps working; a
    # watcher without a tray does not change that until a tray comes.
    def scenario_no_watcher(self):
        self.monitor.start()
        wait_for("the line that says why", lambda: any(
            "no StatusNotifierWatcher" in line for line in self.monitor.sni_lines()))
        wait_for("MODE=ACTIVE", lambda: self.monitor.mode() == "ACTIVE")
        self.monitor.type("menu")
        wait_for("the terminal's menu", lambda: "=== Popup Menu ===" in self.monitor.err)
        self.monitor.type("suspend")
        wait_for("MODE=SUSPEND", lambda: self.monitor.mode() == "SUSPEND")

        watcher = self.start_watcher(host=False)
        self.registered_host()
        wait_for("the line that no tray is there", lambda: any(
            "no tray" in line for line in self.monitor.sni_lines()))
        self.monitor.err.clear()
        self.monitor.type("menu")
        wait_for("the terminal's menu", lambda: "=== Popup Menu ===" in self.monitor.err)
        check(any(line.startswith("  [x] Suspend") for line in self.monitor.err),
              "the terminal's menu has no check mark: " + self.monitor.errors())

        watcher.add_host()
        self.shown_line()
        # The tray shows the menu now; the terminal no longer prints it.
        self.monitor.err.clear()
        self.monitor.type("menu")
        self.monitor.type("resume-check")
        wait_for("the unknown command's answer",
                 lambda: any("unknown command" in line for line in self.monitor.err))
        check("=== Popup Menu ===" not in self.monitor.err,
              "the terminal printed the menu while a tray shows it")

    # No session bus at all: the terminal, as before, with one line.
    def scenario_no_bus(self):
        self.monitor.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        self.monitor.start()
        wait_for("the line that says why", lambda: any(
            line.startswith("sni: no session bus") for line in self.monitor.err))
        wait_for("MODE=ACTIVE", lambda: self.monitor.mode() == "ACTIVE")
        self.monitor.type("menu")
        wait_for("the terminal's menu", lambda: "=== Popup Menu ===" in self.monitor.err)
        check(len(self.monitor.sni_lines()) == 1, "lines: %r" % self.monitor.sni_lines())


    # Boxes and dialogs as notifications: the reminder at the start answered
    # with its check box, About with its actions, a critical box.
    def scenario_notifications(self):
        server = self.start_server()
        self.start_watcher()
        self.monitor.start()
        reminder = server.notice("the reminder", REMINDER_TITLE)
        check(list(reminder.actions) == ["continue", "ignore", "exit"],
              "the reminder's actions: %r" % reminder.actions)
        check(reminder.actions["ignore"] == "Do not display this error in the future" and
              reminder.actions["continue"] == "Continue Anyhow..." and
              reminder.actions["exit"] == "Exit", "labels %r" % reminder.actions)
        check("primary joystick" in reminder.body, "the reminder says %r" % reminder.body)
        check(reminder.app == "Thalix Monitor", "app name %r" % reminder.app)
        pump(0.3)
        check(self.monitor.mode() is None, "the start went on while the reminder waits")
        server.choose(reminder, "ignore")
        wait_for("MODE=ACTIVE", lambda: self.monitor.mode() == "ACTIVE")
        registry = os.path.join(self.monitor.env["XDG_CONFIG_HOME"], "zephmonitor", "registry.ini")
        with open(registry, newline="") as f:
            text = f.read()
        # A string value is its bytes in hex with the terminating NUL.
        check("CheckAttached=1:%s00" % b"False".hex() in text, "CheckAttached is not False: " + text)
        host = self.registered_host()

        host.click("About...")
        about = server.notice("About", "About Thalix Monitor")
        check("Thalix Monitor v5.1.0.12" in about.body, "About says %r" % about.body)
        check(set(about.actions) == {"web", "mail", "sysinfo"}, "actions %r" % about.actions)
        server.choose(about, "sysinfo")
        box = server.notice("the unavailable box", "Thalix Monitor")
        check(box.body == "System Information Is Unavailable At This Time" and not box.actions,
              "the box %r" % vars(box))
        # A second About while the first is shown takes its place.
        host.click("About...")
        first = wait_for("About again", lambda: [n for n in server.shown
                                                 if n.summary == "About Thalix Monitor"][1:])[0]
        host.click("About...")
        wait_for("About in its place", lambda: any(
            n.replaces == first.id for n in server.shown if n.summary == "About Thalix Monitor"))

        os.remove(os.path.join(self.monitor.prog, "zephweb.exe"))
        host.click("Web update...")
        error = server.notice("the missing utility's box", "Update Error")
        check(error.urgency == 2 and error.icon == "dialog-error",
              "not critical: %r" % vars(error))
        check(error.body == "Thalix Web Update utility not found.", "box %r" % error.body)
        wait_for("the terminal's line", lambda: "=== Update Error ===" in self.monitor.err)
        host.click("Exit")
        wait_for("the end of the program", lambda: self.monitor.process.poll() is not None)

    # The reminder's Exit ends the program at the start.
    def scenario_reminder_exit(self):
        server = self.start_server()
        self.monitor.start()
        reminder = server.notice("the reminder", REMINDER_TITLE)
        server.choose(reminder, "exit")
        wait_for("the end of the program", lambda: self.monitor.process.poll() is not None)
        check(self.monitor.mode() != "ACTIVE", "monitoring began")

    # Startup settings: the setting, switched by its action and written at
    # once; closed, it stays.
    def scenario_startup_settings(self):
        server = self.start_server()
        self.start_watcher()
        self.monitor.start()
        server.choose(server.notice("the reminder", REMINDER_TITLE), "continue")
        host = self.registered_host()
        wait_for("MODE=ACTIVE", lambda: self.monitor.mode() == "ACTIVE")
        entry = os.path.join(self.monitor.env["XDG_CONFIG_HOME"], "autostart",
                             "zephmonitor.desktop")
        host.click("Startup settings...")
        shown = server.notice("Startup Settings", "Startup Settings")
        check(shown.body == "[ ] Launch the Thalix Monitor when Windows starts",
              "it says %r" % shown.body)
        server.choose(shown, "switch")
        wait_for("the autostart entry", lambda: os.path.exists(entry))
        again = wait_for("the setting shown again", lambda: [
            n for n in server.shown if n.summary == "Startup Settings" and n.body.startswith("[x]")])
        server.dismiss(again[-1])
        pump(0.5)
        check(os.path.exists(entry), "closing the dialog removed the entry")
        host.click("Startup settings...")
        ticked = wait_for("the dialog again", lambda: [
            n for n in server.shown if n.summary == "Startup Settings"][2:])[0]
        check(ticked.body.startswith("[x]"), "not ticked: %r" % ticked.body)
        server.choose(ticked, "switch")
        wait_for("the entry removed", lambda: not os.path.exists(entry))
        # The server hangs (this process stops serving it) while the dialog
        # is shown again: the monitor still answers a signal at once.
        self.monitor.process.send_signal(signal.SIGTERM)
        try:
            self.monitor.process.wait(3)
        except subprocess.TimeoutExpired:
            raise Failure("the monitor waits for a server that does not answer")

    # A server without actions: boxes are shown, nothing waits, the reminder
    # is answered as the terminal answers it.
    def scenario_notifications_without_actions(self):
        server = self.start_server(capabilities=("body",))
        self.monitor.start()
        wait_for("MODE=ACTIVE", lambda: self.monitor.mode() == "ACTIVE")
        check(not any(n.summary == REMINDER_TITLE for n in server.shown),
              "the reminder was sent without its buttons")
        check("=== Continue Anyhow... ===" in self.monitor.err, "the terminal did not answer")
        os.remove(os.path.join(self.monitor.prog, "zephweb.exe"))
        self.monitor.type("web")
        error = server.notice("the box", "Update Error")
        check(not error.actions, "actions %r" % error.actions)


def serve(seconds):
    DBusGMainLoop(set_as_default=True)
    watcher = Watcher(os.environ["DBUS_SESSION_BUS_ADDRESS"], True)
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        pump(0.2)
    print("served %d registrations" % len(watcher.items))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", nargs="?")
    parser.add_argument("--monitor")
    parser.add_argument("--companions")
    parser.add_argument("--art")
    parser.add_argument("--serve", type=float)
    options = parser.parse_args()
    if "DBUS_SESSION_BUS_ADDRESS" not in os.environ:
        print("sni_test: run it under dbus-run-session", file=sys.stderr)
        return 2
    if options.serve is not None:
        serve(options.serve)
        return 0
    if not (options.scenario and options.monitor and options.companions and options.art):
        parser.error("a scenario needs --monitor, --companions and --art")
    scenario = Scenario(options)
    try:
        scenario.run(options.scenario)
    except Failure as failure:
        print("FAILED %s: %s" % (options.scenario, failure))
        print("monitor's standard error:\n" + scenario.monitor.errors())
        return 1
    print("passed " + options.scenario)
    return 0


if __name__ == "__main__":
    sys.exit(main())
