#!/usr/bin/env python3
"""The Linux tray on a real panel, with a real notification daemon.

    dbus-run-session -- python3 panel_test.py --monitor EXE --companions DIR \
        --art MAKE_ART [--shots DIR]

On a display of its own (Xvfb) it starts lxqt-panel, whose tray shows
StatusNotifierItems, and dunst, each with a configuration of ours in a
scratch XDG_CONFIG_HOME, then the monitor with the sni desktop. It works the
panel from the X side as a user would: it finds the icon's pixels in a
picture of the screen, opens the menu with a right click, clicks its
entries, and asks dunst what it shows. With --shots it also saves pictures
of the panel, the menu and a notification into DIR (scripts/screenshots
--linux).

Exits with 77 (a skip) when a program it drives is not installed.
"""

import argparse
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SKIPPED = 77

# The programs driven, with the Debian packages that bring them.
TOOLS = (("Xvfb", "xvfb"), ("lxqt-panel", "lxqt-panel"), ("dunst", "dunst"),
         ("dunstctl", "dunst"), ("xdotool", "xdotool"), ("import", "imagemagick"))

SCREEN_W, SCREEN_H = 640, 480
ICON_SIZE = 22  # iconSize in lxqt-panel.conf
PANEL_BACKGROUND = (0xdc, 0xdc, 0xdc)  # background-color in lxqt-panel.conf

# The entries the menu shows, top to bottom (the hidden ones are not drawn).
MENU_LABELS = ("About...", "Customize...", "Web update...", "Startup settings...", "Suspend",
               "Exit")

# The reminder to attach the controller switched off, so that no box waits
# for an answer while the panel is driven.
REGISTRY = ("[HKEY_LOCAL_MACHINE\\Software\\Thalix\\Kinetra]\n"
            "CheckAttached=1:" + b"False\0".hex() + "\n")


def missing_tools():
    return ["%s (package %s)" % (tool, package) for tool, package in TOOLS
            if not shutil.which(tool)]


# sni_test has the monitor's program folder and the waits; it needs
# dbus-python and GLib, so it is imported once the tools are known to be here.
sni_test = None


def check(condition, message):
    sni_test.check(condition, message)


def wait_for(what, condition, timeout=10.0):
    return sni_test.wait_for(what, condition, timeout)


def run(*args):
    return subprocess.run(args, check=True, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE).stdout.decode()


# --- the screen


class Picture:
    """An RGB picture of the screen."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return self.data[i], self.data[i + 1], self.data[i + 2]


class Rect:
    def __init__(self, x, y, w, h):
        self.x, self.y, self.w, self.h = x, y, w, h

    def center(self):
        return self.x + self.w // 2, self.y + self.h // 2

    def __repr__(self):
        return "%dx%d+%d+%d" % (self.w, self.h, self.x, self.y)


def grab():
    data = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], check=True,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    check(len(data) == SCREEN_W * SCREEN_H * 3, "a picture of %d bytes" % len(data))
    return Picture(SCREEN_W, SCREEN_H, data)


def near(a, b, tolerance=12):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


class IconImage:
    """The pixels of an icon that any background leaves as they are: those
    the icon covers fully, relative to its top left corner."""

    def __init__(self, art, scene):
        rows = art.render(scene(ICON_SIZE), ICON_SIZE)
        self.opaque = [(x, y, (r, g, b)) for y, row in enumerate(rows)
                       for x, (r, g, b, a) in enumerate(row) if a == 255]
        # The first one anchors the search, the others confirm.
        self.anchor = self.opaque[0]

    def find(self, picture, area):
        ax, ay, colour = self.anchor
        for y in range(area.y, area.y + area.h - ICON_SIZE + 1):
            for x in range(area.x, area.x + area.w - ICON_SIZE + 1):
                if not near(picture.pixel(x + ax, y + ay), colour):
                    continue
                if all(near(picture.pixel(x + px, y + py), c) for px, py, c in self.opaque):
                    return Rect(x, y, ICON_SIZE, ICON_SIZE)
        return None


def menu_rows(picture, menu):
    """The entries drawn in a menu window: (top, bottom, leftmost x) of each
    band of rows that holds dark pixels (a label, with its check mark)."""
    bands = []
    for y in range(menu.y, menu.y + menu.h):
        dark = [x for x in range(menu.x + 2, menu.x + menu.w - 2)
                if sum(picture.pixel(x, y)) < 3 * 100]
        if not dark:
            continue
        if bands and bands[-1][1] == y - 1:
            top, _, left = bands[-1]
            bands[-1] = (top, y, min(left, dark[0]))
        else:
            bands.append((y, y, dark[0]))
    return bands


def ticked(rows, label):
    # A check mark is dark, left of the labels; "Exit" has none.
    return rows[MENU_LABELS.index(label)][2] < rows[MENU_LABELS.index("Exit")][2] - 6


# --- the desktop's parts


class Desktop:
    """Xvfb, dunst and lxqt-panel in a scratch folder, ended in reverse."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="zeph-panel-")
        self.processes = []
        self.config = os.path.join(self.root, "config")
        for name in ("lxqt", "dunst", "zephmonitor"):
            os.makedirs(os.path.join(self.config, name))
        # The panel writes its settings back: it gets a copy.
        shutil.copy(os.path.join(HERE, "lxqt-panel.conf"),
                    os.path.join(self.config, "lxqt", "panel.conf"))
        shutil.copy(os.path.join(HERE, "dunstrc"), os.path.join(self.config, "dunst"))
        with open(os.path.join(self.config, "zephmonitor", "registry.ini"), "w") as f:
            f.write(REGISTRY)
        self.runtime = os.path.join(self.root, "runtime")
        os.makedirs(self.runtime, mode=0o700)
        os.environ.update({"XDG_CONFIG_HOME": self.config, "XDG_RUNTIME_DIR": self.runtime})
        os.environ.pop("XDG_CONFIG_DIRS", None)
        self.panel = None
        self.dunst = None

    def start(self, name, *args):
        log = open(os.path.join(self.root, name + ".log"), "wb")
        process = subprocess.Popen([name] + list(args), stdin=subprocess.DEVNULL, stdout=log,
                                   stderr=subprocess.STDOUT, cwd=self.root)
        log.close()
        self.processes.append(process)
        return process

    def log(self, name):
        try:
            with open(os.path.join(self.root, name + ".log"), "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""

    def start_display(self):
        # Xvfb picks a free display and writes its number to the pipe.
        read_end, write_end = os.pipe()
        process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
             "%dx%dx24" % (SCREEN_W, SCREEN_H), "-wr", "-nolisten", "tcp"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            pass_fds=(write_end,))
        os.close(write_end)
        self.processes.append(process)
        number = b""
        end = time.monotonic() + 10
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0.0, end - time.monotonic()))
            chunk = os.read(read_end, 16) if ready else b""
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        check(number.strip().isdigit(), "Xvfb gave no display number")
        os.environ["DISPLAY"] = ":" + number.strip().decode()

    def start_dunst(self, bus):
        self.dunst = self.start("dunst")
        # Asked on the bus, not through dunstctl: a call to the name would
        # start a dunst of the system's through D-Bus activation instead.
        wait_for("dunst on the session bus",
                 lambda: bus.name_has_owner("org.freedesktop.Notifications") or
                 self.dunst.poll() is not None)
        check(self.dunst.poll() is None, "dunst ended:\n" + self.log("dunst"))

    def start_panel(self, bus):
        self.panel = self.start("lxqt-panel", "-c",
                                os.path.join(self.config, "lxqt", "panel.conf"))
        wait_for("the panel's StatusNotifierWatcher",
                 lambda: bus.name_has_owner("org.kde.StatusNotifierWatcher") or
                 self.panel.poll() is not None)
        check(self.panel.poll() is None, "lxqt-panel ended:\n" + self.log("lxqt-panel"))
        self.panel_rect = wait_for("the panel's window", self.panel_window)

    @staticmethod
    def windows(*search):
        """The shown windows that xdotool search finds: (name, Rect)."""
        result = subprocess.run(["xdotool", "search", "--onlyvisible"] + list(search),
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        found = []
        for window in result.stdout.split():
            name = subprocess.run(["xdotool", "getwindowname", window], stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL).stdout.decode().strip()
            geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window],
                                      stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            values = dict(line.split("=", 1) for line in
                          geometry.stdout.decode().split() if "=" in line)
            if geometry.returncode == 0:
                found.append((name, Rect(int(values["X"]), int(values["Y"]),
                                         int(values["WIDTH"]), int(values["HEIGHT"]))))
        return found

    def panel_window(self):
        for name, rect in self.windows("--pid", str(self.panel.pid)):
            if name == "LXQt Panel":
                return rect
        return None

    def menu(self):
        """The panel's popup menu: a shown window of the panel's other than
        the panel, with room for entries."""
        for name, rect in self.windows("--pid", str(self.panel.pid)):
            if name != "LXQt Panel" and rect.w > 40 and rect.h > 40:
                return rect
        return None

    def notifications(self):
        # dunst's window does not say its process: it is found by its class.
        found = self.windows("--class", "^Dunst$")
        return found[0][1] if found else None

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(self.root, ignore_errors=True)


def dunst_history():
    data = json.loads(run("dunstctl", "history"))["data"]
    return [entry["summary"]["data"] for entry in (data[0] if data else [])]


def displayed_count():
    return int(run("dunstctl", "count", "displayed").strip())


# --- the pictures for the README


class Shots:
    def __init__(self, folder):
        self.folder = folder
        if folder:
            os.makedirs(folder, exist_ok=True)

    def take(self, name, rect, scale=100):
        if not self.folder:
            return
        path = os.path.join(self.folder, name + ".png")
        subprocess.run(["import", "-window", "root", "-crop", repr(rect), "+repage", "-filter",
                        "point", "-resize", "%d%%" % scale, "-strip", path], check=True)
        print("   " + path)


# --- the test


class PanelTest:
    def __init__(self, options):
        self.options = options
        self.desktop = Desktop()
        self.monitor = None
        self.shots = Shots(options.shots)

    def right_click(self, icon):
        x, y = icon.center()
        # The panel reads the item's menu after it draws the icon: a click
        # before that opens nothing, and is made again.
        menu = None
        for _ in range(3):
            run("xdotool", "mousemove", str(x), str(y), "click", "3")
            try:
                menu = wait_for("the menu's window", self.desktop.menu, 3.0)
                break
            except sni_test.Failure:
                pass
        check(menu is not None, "no menu opened on three right clicks")
        # The panel fills the menu after its window shows: wait for all the
        # entries (and no more: the hidden ones stay hidden).
        seen = []

        def drawn():
            seen[:] = menu_rows(grab(), menu)
            return len(seen) == len(MENU_LABELS)
        try:
            wait_for("the menu's entries", drawn)
        except sni_test.Failure:
            raise sni_test.Failure("the menu shows %d entries, not %d" %
                                   (len(seen), len(MENU_LABELS)))
        return menu, list(seen)

    def choose(self, menu, rows, label):
        top, bottom, _ = rows[MENU_LABELS.index(label)]
        run("xdotool", "mousemove", str(menu.x + menu.w // 2), str((top + bottom) // 2),
            "click", "1")
        wait_for("the menu to close", lambda: self.desktop.menu() is None)
        # The pointer leaves the panel: the icon is then drawn without hover.
        run("xdotool", "mousemove", "0", "0")

    def find_icon(self, image, what):
        panel = self.desktop.panel_rect
        return wait_for(what, lambda: image.find(grab(), panel))

    def strip(self, icon):
        # The panel's right end, with the icon.
        panel = self.desktop.panel_rect
        return Rect(panel.x + panel.w - 96, panel.y, 96, panel.h)

    def run(self):
        import dbus
        import dbus.mainloop.glib
        dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
        bus = dbus.SessionBus()
        art = sni_test.make_art_module(self.options.art)
        monitoring = IconImage(art, art.monitoring_scene)
        suspended = IconImage(art, art.suspended_scene)

        self.desktop.start_display()
        self.desktop.start_dunst(bus)
        self.desktop.start_panel(bus)
        self.monitor = sni_test.Monitor(self.options.monitor, self.options.companions)
        self.monitor.env.update({"DISPLAY": os.environ["DISPLAY"],
                                 "XDG_CONFIG_HOME": self.desktop.config})
        self.monitor.start()
        wait_for("MODE=ACTIVE", lambda: self.monitor.mode() == "ACTIVE")

        # The icon is drawn in the panel's tray.
        icon = self.find_icon(monitoring, "the monitoring icon in the panel")
        lines = self.monitor.sni_lines()
        check("sni: the desktop's tray shows the icon" in lines and
              not any("terminal stands in" in line for line in lines), "lines: %r" % lines)
        self.shots.take("linux-icon-monitoring", self.strip(icon), 400)

        # Right click: the menu with its entries; "Suspend" is not ticked.
        menu, rows = self.right_click(icon)
        check(menu.y + menu.h <= icon.y + 1, "the menu %r does not open above the icon" % menu)
        check(not ticked(rows, "Suspend"), "Suspend is drawn ticked while monitoring")
        self.shots.take("linux-popup-menu",
                        Rect(menu.x - 16, menu.y - 16, SCREEN_W - menu.x + 16,
                             SCREEN_H - menu.y + 16))
        self.choose(menu, rows, "Suspend")
        wait_for("MODE=SUSPEND", lambda: self.monitor.mode() == "SUSPEND")
        found = self.find_icon(suspended, "the suspended icon in the panel")
        check((found.x, found.y) == (icon.x, icon.y), "the icon moved to %r" % found)
        check(monitoring.find(grab(), self.desktop.panel_rect) is None,
              "the monitoring icon is still drawn")
        self.shots.take("linux-icon-suspended", self.strip(icon), 400)

        # The menu again: "Suspend" ticked (a check mark left of the labels),
        # then "About..." as a notification from dunst.
        menu, rows = self.right_click(icon)
        check(ticked(rows, "Suspend"), "Suspend is not drawn ticked while suspended")
        check(displayed_count() == 0 and not dunst_history(), "a notification came unasked")
        self.choose(menu, rows, "About...")
        shown = wait_for("dunst's notification window", self.desktop.notifications)
        check(displayed_count() == 1, "dunst shows %d notifications" % displayed_count())
        self.shots.take("linux-notification",
                        Rect(shown.x - 8, shown.y - 8, shown.w + 16, shown.h + 16))
        # Closed, it goes to dunst's history, which tells what it was.
        run("dunstctl", "close")
        history = wait_for("the notification in dunst's history", dunst_history)
        check(history == ["About Thalix Monitor"], "dunst showed %r" % history)
        wait_for("dunst's window to close", lambda: self.desktop.notifications() is None)
        check(self.monitor.process.poll() is None, "the monitor ended")

        # "Exit" ends the program, and the panel drops the icon.
        menu, rows = self.right_click(icon)
        self.choose(menu, rows, "Exit")
        wait_for("the end of the program", lambda: self.monitor.process.poll() is not None)
        check(self.monitor.process.returncode == 0,
              "exit code %d" % self.monitor.process.returncode)
        check(self.monitor.mode() == "", "MODE is %r after Exit" % self.monitor.mode())
        wait_for("the icon to leave the panel",
                 lambda: suspended.find(grab(), self.desktop.panel_rect) is None)

    def close(self):
        if self.monitor:
            self.monitor.close()
        self.desktop.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--monitor", required=True)
    parser.add_argument("--companions", required=True)
    parser.add_argument("--art", required=True)
    parser.add_argument("--shots", help="a folder for the README's pictures")
    options = parser.parse_args()
    missing = missing_tools()
    if missing:
        print("SKIPPED: not installed: " + ", ".join(missing))
        return SKIPPED
    if "DBUS_SESSION_BUS_ADDRESS" not in os.environ:
        print("panel_test: run it under dbus-run-session", file=sys.stderr)
        return 2
    global sni_test
    sys.path.insert(0, os.path.join(HERE, os.pardir, "sni"))
    import sni_test as module
    sni_test = module
    test = PanelTest(options)
    try:
        test.run()
    except sni_test.Failure as failure:
        print("FAILED: %s" % failure)
        if test.monitor:
            print("monitor's standard error:\n" + test.monitor.errors())
        for name in ("lxqt-panel", "dunst"):
            print("%s's output:\n%s" % (name, test.desktop.log(name)))
        return 1
    finally:
        test.close()
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
