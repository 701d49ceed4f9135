#!/usr/bin/env python3
"""The Linux install, from the outside: `cmake --install` into a scratch
DESTDIR, and the Debian package that cpack makes, installed, started and
removed.

    install_test.py --build BUILD_DIR --source SOURCE_DIR
                    [--cmake CMAKE] [--cpack CPACK] [unittest arguments]

The package is installed into the real system when this runs as root and no
zephmonitor package is installed already (as in CI), and purged at the end,
whatever happened; otherwise it is unpacked into a scratch root and the
monitor is started from there.
"""

import argparse
import os
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

ARGS = None  # set by main()

FOLDER = "lib/zephmonitor"
PROGRAMS = ("ZephMonitor", "zephcheck", "Zephcontrol.exe", "ZephEvent.exe",
            "zephcfg.exe", "zephweb.exe")
GAMES = ("games/DemoRacer/demo.exe", "games/DemoTuner/tuner.exe")
ICON_NAMES = ("zephmonitor", "zephmonitor-suspended")
ICON_SIZES = (16, 22, 32, 48)
LAUNCHER = "share/applications/zephmonitor.desktop"
PACKAGE = "zephmonitor"
# A prefix with characters the launcher's Exec must quote or escape.
ODD_PREFIX = "/opt/zeph test $1 100%"


def run(command, **kwargs):
    """Runs a command and returns its result; output is captured as text."""
    return subprocess.run(command, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, **kwargs)


def files_under(root):
    """Every file and link under root, as paths relative to it."""
    found = set()
    for folder, dirs, files in os.walk(root):
        for name in files + [d for d in dirs
                             if os.path.islink(os.path.join(folder, d))]:
            found.add(os.path.relpath(os.path.join(folder, name), root))
    return found


def cmake_install(root, prefix):
    """Installs the build into root as DESTDIR, under prefix; returns the
    folder that prefix became."""
    env = dict(os.environ, DESTDIR=root)
    result = run([ARGS.cmake, "--install", ARGS.build, "--prefix", prefix],
                 env=env)
    if result.returncode != 0:
        raise AssertionError("cmake --install failed:\n" + result.stdout)
    return os.path.join(root, prefix.lstrip("/"))


# --- desktop entries


def desktop_entry(path):
    """The keys of a desktop file's [Desktop Entry] group, values as
    written."""
    keys, group = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                group = line
            elif group == "[Desktop Entry]" and "=" in line:
                key, value = line.split("=", 1)
                keys[key.strip()] = value.strip()
    return keys


def unescape_string(value):
    """A desktop entry string value with its escapes (\\s, \\n, \\t, \\r,
    \\\\) read."""
    escapes = {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}
    out, i = "", 0
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value) and value[i + 1] in escapes:
            out += escapes[value[i + 1]]
            i += 2
        else:
            out += value[i]
            i += 1
    return out


def exec_arguments(value):
    """An Exec value split into its arguments as a launcher does: the string
    escapes first, then quoting ('"', '`', '$' and '\\' escaped inside
    quotes), then '%%' as a '%'."""
    text = unescape_string(value)
    args, i = [], 0
    while i < len(text):
        if text[i] == " ":
            i += 1
            continue
        arg = ""
        if text[i] == '"':
            i += 1
            while i < len(text) and text[i] != '"':
                if text[i] == "\\" and i + 1 < len(text) and text[i + 1] in '"`$\\':
                    i += 1
                arg += text[i]
                i += 1
            if i == len(text):
                raise AssertionError("unclosed quote in Exec=%s" % value)
            i += 1
        else:
            while i < len(text) and text[i] != " ":
                arg += text[i]
                i += 1
        args.append(arg.replace("%%", "%"))
    return args


# --- PNG


def png_size(path):
    """Width, height and colour type from a PNG file's header."""
    with open(path, "rb") as f:
        data = f.read(33)
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise AssertionError("%s is no PNG file" % path)
    width, height, _, colour = struct.unpack(">IIBB", data[16:26])
    return width, height, colour


# --- the monitor, started


class Output:
    """Collects what a stream says, line by line, on a thread of its own."""

    def __init__(self, stream):
        self.lines = []
        self.cond = threading.Condition()
        self.thread = threading.Thread(target=self._read, args=(stream,),
                                       daemon=True)
        self.thread.start()

    def _read(self, stream):
        for raw in stream:
            with self.cond:
                self.lines.append(raw.decode("latin-1").rstrip("\r\n"))
                self.cond.notify_all()

    def wait_for(self, pattern, seconds):
        """The first line that matches pattern, waiting up to seconds."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + seconds
        with self.cond:
            while True:
                for line in self.lines:
                    if regex.search(line):
                        return line
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError("no line matching %r in %.0f s; got:\n%s"
                                         % (pattern, seconds, "\n".join(self.lines)))
                self.cond.wait(left)


def start_and_stop_monitor(test, command, folder, scratch):
    """Starts the installed monitor in debug mode on the terminal desktop,
    lets it see the demo game start and end, asks for its menu, and ends it
    with "exit". folder is its program folder."""
    home = os.path.join(scratch, "home")
    runtime = os.path.join(scratch, "runtime")
    os.makedirs(home)
    os.makedirs(runtime, mode=0o700)
    # Its registry, journal, locks and window registrations stay in scratch.
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home,
           "XDG_CONFIG_HOME": os.path.join(home, ".config"),
           "XDG_STATE_HOME": os.path.join(home, ".local", "state"),
           "XDG_RUNTIME_DIR": runtime, "ZEPHMONITOR_DESKTOP": "terminal",
           "LC_ALL": "C"}
    for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
        if name in os.environ:
            env[name] = os.environ[name]
    monitor = subprocess.Popen(command + ["-d"], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               env=env, cwd=home)
    game = None
    out, err = Output(monitor.stdout), Output(monitor.stderr)
    try:
        # It reads the profiles of its own folder.
        out.wait_for(r"^demo\.wyn - demo\.exe$", 15)
        out.wait_for(r"^Successfully added \d+ items to the watch list", 5)

        monitor.stdin.write(b"menu\n")
        monitor.stdin.flush()
        err.wait_for(r"^=== end of menu ===$", 10)
        err.wait_for(r"^\s+Exit\s+exit", 1)

        # The demo game starts and ends: the profile is activated through the
        # installed companions, and the controller set back.
        game = subprocess.Popen([os.path.join(folder, GAMES[0]), "sleep", "60000"],
                                env=env, cwd=home)
        out.wait_for(r"^Started watching: demo\.exe", 15)
        game.terminate()
        game.wait(10)
        out.wait_for(r"^Stopped watching: demo\.exe", 15)
        with open(os.path.join(folder, "active.zeph"), "rb") as f:
            test.assertTrue(f.read(), "empty command script")
        # The controller is reset once before the profile's commands and
        # once after the game, the reset's last call being the curve 5 one.
        # "exit" waits for that: it would cut the reset short.
        log = os.path.join(folder, "zephcontrol.log")
        deadline = time.monotonic() + 20
        while True:
            with open(log) as f:
                calls = f.read().splitlines()
            if (len([line for line in calls if line.endswith(" --set-defaults")]) == 2
                    and calls[-2].endswith(" --reset-sensitivity-curve 5")
                    and calls[-1].startswith("end ")):
                break
            test.assertLess(time.monotonic(), deadline,
                            "no reset after the game:\n" + "\n".join(calls))
            time.sleep(0.1)
        # Each call of the installed control utility succeeded.
        ends = [line for line in calls if line.startswith("end ")]
        test.assertEqual([line for line in ends if not line.endswith(" 0")], [])

        monitor.stdin.write(b"exit\n")
        monitor.stdin.flush()
        test.assertEqual(monitor.wait(15), 0, "\n".join(err.lines))
        with open(os.path.join(folder, "zephmon.ini"), "rb") as f:
            test.assertRegex(f.read(), rb"(?m)^MODE=\r?$")
    finally:
        for process in (game, monitor):
            if process is not None and process.poll() is None:
                process.kill()
                process.wait()
        monitor.stdin.close()
        for output, stream in ((out, monitor.stdout), (err, monitor.stderr)):
            output.thread.join(5)
            stream.close()


# --- the tests


class InstallTree(unittest.TestCase):
    """cmake --install into a scratch DESTDIR, under a prefix that needs
    quoting in the launcher."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="zephmonitor-install.")
        cls.prefix = cmake_install(os.path.join(cls.scratch, "root"), ODD_PREFIX)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch)

    def test_program_folder_holds_the_demo_layout(self):
        folder = os.path.join(self.prefix, FOLDER)
        demo = os.path.join(ARGS.source, "demo")
        wanted = set(PROGRAMS) | set(GAMES)
        for part in ("wyn", "curves", "games"):
            wanted |= {os.path.join(part, name)
                       for name in files_under(os.path.join(demo, part))}
        self.assertEqual(files_under(folder), wanted)
        for name in PROGRAMS + GAMES:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                self.assertEqual(f.read(4), b"\x7fELF", name)
            self.assertTrue(os.stat(path).st_mode & stat.S_IXOTH, name)
        # Profiles keep their bytes (CR LF, 8-bit text).
        for name in os.listdir(os.path.join(demo, "wyn")):
            with open(os.path.join(demo, "wyn", name), "rb") as a, \
                    open(os.path.join(folder, "wyn", name), "rb") as b:
                self.assertEqual(a.read(), b.read(), name)

    def test_command_links_lead_into_the_folder(self):
        for link, target in (("zephmonitor", "ZephMonitor"),
                             ("zephcheck", "zephcheck")):
            path = os.path.join(self.prefix, "bin", link)
            self.assertTrue(os.path.islink(path), link)
            # Relative, so that it holds wherever the tree is put.
            self.assertEqual(os.readlink(path), "../%s/%s" % (FOLDER, target))
            self.assertTrue(os.path.isfile(path), link)

    def test_launcher_is_valid_and_starts_the_installed_monitor(self):
        path = os.path.join(self.prefix, LAUNCHER)
        if shutil.which("desktop-file-validate"):
            result = run(["desktop-file-validate", path])
            self.assertEqual(result.returncode, 0, result.stdout)
            self.assertNotRegex(result.stdout, "error|warning")
        else:
            print("desktop-file-validate is not installed (package "
                  "desktop-file-utils): launcher not validated")
        keys = desktop_entry(path)
        self.assertEqual(keys.get("Type"), "Application")
        self.assertEqual(keys.get("Icon"), "zephmonitor")
        self.assertEqual(keys.get("Terminal"), "false")
        self.assertTrue(keys.get("Name"))
        self.assertTrue(keys.get("Categories"))
        # Exec names the monitor where it is installed, quoted as needed.
        self.assertEqual(exec_arguments(keys["Exec"]),
                         [ODD_PREFIX + "/" + FOLDER + "/ZephMonitor"])

    def test_icons_in_the_hicolor_theme(self):
        hicolor = os.path.join(self.prefix, "share", "icons", "hicolor")
        wanted = {"%dx%d/apps/%s.png" % (size, size, name)
                  for size in ICON_SIZES for name in ICON_NAMES}
        self.assertEqual(files_under(hicolor), wanted)
        for name in wanted:
            size = int(name.split("x")[0])
            width, height, colour = png_size(os.path.join(hicolor, name))
            self.assertEqual((width, height), (size, size), name)
            self.assertEqual(colour, 6, name + " is not RGBA")


class DebianPackage(unittest.TestCase):
    """The package cpack makes: its fields and files, then installed,
    started and removed."""

    @classmethod
    def setUpClass(cls):
        for tool in ("dpkg", "dpkg-deb", "dpkg-shlibdeps"):
            if not shutil.which(tool):
                raise unittest.SkipTest("%s is not installed (package %s)"
                                        % (tool, "dpkg" if tool != "dpkg-shlibdeps"
                                           else "dpkg-dev"))
        cls.scratch = tempfile.mkdtemp(prefix="zephmonitor-package.")
        out = os.path.join(cls.scratch, "out")
        result = run([ARGS.cpack, "--config",
                      os.path.join(ARGS.build, "CPackConfig.cmake"), "-B", out])
        if result.returncode != 0:
            raise AssertionError("cpack failed:\n" + result.stdout)
        debs = [name for name in os.listdir(out) if name.endswith(".deb")]
        if len(debs) != 1:
            raise AssertionError("cpack made %s" % debs)
        cls.deb = os.path.join(out, debs[0])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch)

    def field(self, name):
        result = run(["dpkg-deb", "--field", self.deb, name])
        self.assertEqual(result.returncode, 0, result.stdout)
        return result.stdout.strip()

    def test_fields(self):
        self.assertEqual(self.field("Package"), PACKAGE)
        arch = run(["dpkg", "--print-architecture"]).stdout.strip()
        self.assertEqual(self.field("Architecture"), arch)
        self.assertEqual(os.path.basename(self.deb), "%s_%s_%s.deb"
                         % (PACKAGE, self.field("Version"), arch))
        # The version the About dialog shows.
        with open(os.path.join(ARGS.build, "program", "ZephMonitor"), "rb") as f:
            shown = re.search(rb"Thalix Monitor v([0-9.]+)", f.read())
        self.assertIsNotNone(shown)
        self.assertEqual(self.field("Version"), shown.group(1).decode())
        # Found by dpkg-shlibdeps from the programs.
        self.assertRegex(self.field("Depends"), r"\blibc6\b")
        self.assertTrue(self.field("Maintainer"))

    def test_holds_what_cmake_install_places_under_usr(self):
        unpacked = os.path.join(self.scratch, "unpacked")
        result = run(["dpkg-deb", "-x", self.deb, unpacked])
        self.assertEqual(result.returncode, 0, result.stdout)
        installed = cmake_install(os.path.join(self.scratch, "installed"), "/usr")
        packaged = os.path.join(unpacked, "usr")
        self.assertEqual(files_under(packaged), files_under(installed))
        keys = desktop_entry(os.path.join(packaged, LAUNCHER))
        self.assertEqual(exec_arguments(keys["Exec"]),
                         ["/usr/%s/ZephMonitor" % FOLDER])
        # The programs are stripped, and still programs.
        for name in PROGRAMS:
            ours = os.path.join(packaged, FOLDER, name)
            self.assertLess(os.path.getsize(ours),
                            os.path.getsize(os.path.join(installed, FOLDER, name)),
                            name + " is not stripped")
            self.assertTrue(os.access(ours, os.X_OK), name)

    def test_installed_monitor_starts_and_the_package_goes_without_a_trace(self):
        scratch = os.path.join(self.scratch, "run")
        folder = "/usr/" + FOLDER
        real = (os.geteuid() == 0 and not installed(PACKAGE)
                and not os.path.lexists(folder))
        if not real:
            print("the package is unpacked into a scratch root (not root, or "
                  "%s is installed already)" % PACKAGE)
            root = os.path.join(self.scratch, "root")
            result = run(["dpkg-deb", "-x", self.deb, root])
            self.assertEqual(result.returncode, 0, result.stdout)
            start_and_stop_monitor(self, [os.path.join(root, "usr/bin/zephmonitor")],
                                   os.path.join(root, "usr", FOLDER), scratch)
            return

        files = []
        try:
            dpkg(self, ["--install", self.deb])
            listed = run(["dpkg-query", "--listfiles", PACKAGE]).stdout.split("\n")
            files = [p for p in listed if p and not os.path.isdir(p)]
            self.assertIn("/usr/bin/zephmonitor", files)
            self.assertIn("/usr/" + LAUNCHER, files)
            start_and_stop_monitor(self, ["/usr/bin/zephmonitor"], folder, scratch)
        finally:
            dpkg(self, ["--purge", PACKAGE])
            # The folder was not there before: whatever is left of it goes,
            # but counts as a failure.
            left = os.path.lexists(folder)
            shutil.rmtree(folder, ignore_errors=True)
        self.assertFalse(installed(PACKAGE))
        self.assertEqual([p for p in files if os.path.lexists(p)], [])
        # The purge takes the files the monitor wrote into its folder.
        self.assertFalse(left, "the purge left " + folder)


def installed(package):
    result = run(["dpkg-query", "--show", "--showformat=${db:Status-Abbrev}", package])
    return result.returncode == 0 and result.stdout.startswith("ii")


def dpkg(test, args):
    """Runs dpkg, waiting out a lock held by another package tool."""
    deadline = time.monotonic() + 60
    while True:
        result = run(["dpkg"] + args, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
        if result.returncode == 0 or "lock" not in result.stdout or time.monotonic() > deadline:
            break
        time.sleep(1)
    test.assertEqual(result.returncode, 0, "dpkg %s:\n%s" % (" ".join(args), result.stdout))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("--cpack", default="cpack")
    ARGS, rest = parser.parse_known_args()
    ARGS.build = os.path.abspath(ARGS.build)
    ARGS.source = os.path.abspath(ARGS.source)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
