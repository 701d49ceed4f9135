#!/usr/bin/env python3
"""The Linux install, from the outside: `cmake --install` into a scratch
DESTDIR, the program folder of each user that its launcher makes, and the
Debian package that cpack makes, installed, started and removed.

    install_test.py --build BUILD_DIR --source SOURCE_DIR
                    [--cmake CMAKE] [--cpack CPACK] [unittest arguments]

The package is installed into the real system when this runs as root and no
zephmonitor package is installed already (as in CI), and purged at the end,
whatever happened; otherwise it is unpacked into a scratch root and the
monitor is started from there.

A user who cannot write the installed program folder is "nobody" when this
runs as root, and otherwise the one running it, with the folder made
read-only.
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
# Who runs the installed programs where they cannot write the folder.
NOBODY = 65534


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


def validate(test, path):
    """desktop-file-validate finds nothing to say of the desktop file."""
    if not shutil.which("desktop-file-validate"):
        print("desktop-file-validate is not installed (package "
              "desktop-file-utils): %s not validated" % os.path.basename(path))
        return
    result = run(["desktop-file-validate", path])
    test.assertEqual(result.returncode, 0, result.stdout)
    test.assertNotRegex(result.stdout, "error|warning")


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


class User:
    """Someone to run the installed programs: a home and a runtime folder in
    scratch, where the registry, journal, locks and window registrations
    stay; as nobody when uid is given (the tests run as root), else as the
    one running the tests."""

    def __init__(self, scratch, uid=None):
        self.uid = uid
        self.home = os.path.join(scratch, "home")
        runtime = os.path.join(scratch, "runtime")
        os.makedirs(self.home)
        os.makedirs(runtime, mode=0o700)
        os.chmod(scratch, 0o755)
        if uid is not None:
            for path in (self.home, runtime):
                os.chown(path, uid, uid)
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"),
                    "HOME": self.home,
                    "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
                    "XDG_STATE_HOME": os.path.join(self.home, ".local", "state"),
                    "XDG_RUNTIME_DIR": runtime, "ZEPHMONITOR_DESKTOP": "terminal",
                    "LC_ALL": "C"}
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                self.env[name] = os.environ[name]

    def command(self, command):
        """command as this user; setpriv execs it, so it keeps the process."""
        if self.uid is None:
            return command
        return ["setpriv", "--reuid=%d" % self.uid, "--regid=%d" % self.uid,
                "--clear-groups", "--"] + command

    def folder(self):
        """The program folder the launcher gives this user."""
        data = self.env.get("XDG_DATA_HOME") or os.path.join(self.home, ".local", "share")
        return os.path.join(data, "zephmonitor")

    def run(self, command, **kwargs):
        return subprocess.run(self.command(command), stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, env=self.env,
                              cwd=self.home, timeout=30, **kwargs)


class Monitor:
    """The installed monitor started by a user in debug mode on the terminal
    desktop, up to its watch list."""

    def __init__(self, user, command):
        self.process = subprocess.Popen(user.command(command + ["-d"]),
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, env=user.env,
                                        cwd=user.home)
        self.out = Output(self.process.stdout)
        self.err = Output(self.process.stderr)
        try:
            # It reads the profiles of its own folder.
            self.out.wait_for(r"^demo\.wyn - demo\.exe$", 15)
            self.out.wait_for(r"^Successfully added \d+ items to the watch list", 5)
        except BaseException:
            self.close()
            raise

    def send(self, line):
        self.process.stdin.write(line.encode() + b"\n")
        self.process.stdin.flush()

    def exit(self, test):
        """Ends it with "exit"; it ends well."""
        self.send("exit")
        test.assertEqual(self.process.wait(15), 0, "\n".join(self.err.lines))

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.process.stdin.close()
        for output, stream in ((self.out, self.process.stdout),
                               (self.err, self.process.stderr)):
            output.thread.join(5)
            stream.close()


def start_and_stop_monitor(test, command, folder, user):
    """Starts the installed monitor as user, lets it see the demo game start
    and end, asks for its menu, and ends it with "exit". folder is the
    program folder it is to run in."""
    monitor = Monitor(user, command)
    out, err = monitor.out, monitor.err
    game = None
    try:

        monitor.send("menu")
        err.wait_for(r"^=== end of menu ===$", 10)
        err.wait_for(r"^\s+Exit\s+exit", 1)

        # The demo game starts and ends: the profile is activated through the
        # installed companions, and the controller set back.
        game = subprocess.Popen(user.command([os.path.join(folder, GAMES[0]),
                                              "sleep", "60000"]),
                                env=user.env, cwd=user.home)
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

        monitor.exit(test)
        with open(os.path.join(folder, "zephmon.ini"), "rb") as f:
            test.assertRegex(f.read(), rb"(?m)^MODE=\r?$")
    finally:
        if game is not None and game.poll() is None:
            game.kill()
            game.wait()
        monitor.close()


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

    def test_commands_run_a_writable_install_in_place(self):
        launcher = os.path.join(self.prefix, "bin", "zephmonitor")
        self.assertTrue(os.path.isfile(launcher) and not os.path.islink(launcher))
        self.assertTrue(os.stat(launcher).st_mode & stat.S_IXOTH)
        # A relative link, so that it holds wherever the tree is put.
        check = os.path.join(self.prefix, "bin", "zephcheck")
        self.assertEqual(os.readlink(check), "zephmonitor")
        # Whoever may write the folder runs its programs there: no folder
        # of their own is made.
        user = User(os.path.join(self.scratch, "user"))
        result = user.run([check, "--help"])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertRegex(result.stdout + result.stderr, "^usage: zephcheck ")
        self.assertFalse(os.path.lexists(user.folder()))

    def test_launcher_is_valid_and_starts_the_installed_monitor(self):
        path = os.path.join(self.prefix, LAUNCHER)
        validate(self, path)
        keys = desktop_entry(path)
        self.assertEqual(keys.get("Type"), "Application")
        self.assertEqual(keys.get("Icon"), "zephmonitor")
        self.assertEqual(keys.get("Terminal"), "false")
        self.assertTrue(keys.get("Name"))
        self.assertTrue(keys.get("Categories"))
        # Exec names the launcher where it is installed, quoted as needed.
        self.assertEqual(exec_arguments(keys["Exec"]), [ODD_PREFIX + "/bin/zephmonitor"])

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


def read(path):
    with open(path, "rb") as f:
        return f.read()


class UserFolder(unittest.TestCase):
    """The launcher of an install that its user cannot write (as a package
    under /usr): each user gets a program folder of their own, copied from
    the installed one, under a prefix the launcher must quote."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="zephmonitor-user.")
        os.chmod(cls.scratch, 0o755)
        cls.prefix = cmake_install(os.path.join(cls.scratch, "root"), ODD_PREFIX)
        cls.installed = os.path.join(cls.prefix, FOLDER)
        cls.launcher = os.path.join(cls.prefix, "bin", "zephmonitor")
        cls.shipped = files_under(cls.installed)
        os.chmod(cls.installed, 0o555)
        cls.uid = NOBODY if os.geteuid() == 0 else None
        cls.users = 0

    @classmethod
    def tearDownClass(cls):
        os.chmod(cls.installed, 0o755)
        shutil.rmtree(cls.scratch)

    def new_user(self):
        UserFolder.users += 1
        return User(os.path.join(self.scratch, "user%d" % self.users), self.uid)

    def assertNothingHalfMade(self, folder):
        """Only the folder is beside it, and no temporary files in it."""
        self.assertEqual(os.listdir(os.path.dirname(folder)), ["zephmonitor"])
        self.assertEqual([name for name in os.listdir(folder)
                          if name.startswith(".") and name != ".installed"], [])

    def test_runs_from_a_copy_kept_up_to_date_that_keeps_the_users_edits(self):
        user = self.new_user()
        folder = user.folder()
        start_and_stop_monitor(self, [self.launcher], folder, user)
        # All that was shipped is copied; all it writes lands in the copy.
        self.assertLessEqual(self.shipped, files_under(folder))
        self.assertEqual(files_under(self.installed), self.shipped)
        for name in PROGRAMS + GAMES:
            self.assertEqual(read(os.path.join(folder, name)),
                             read(os.path.join(self.installed, name)), name)
        if self.uid is not None:
            self.assertEqual(os.stat(os.path.join(folder, "zephmon.ini")).st_uid, self.uid)
        self.assertNothingHalfMade(folder)

        # The user edits a profile; the next start uses the same copy.
        profile = os.path.join(folder, "wyn", "demo.wyn")
        with open(profile, "ab") as f:
            f.write(b"; my own\r\n")
        edited = read(profile)
        program = os.path.join(folder, "ZephMonitor")
        copied = os.stat(program).st_ino
        entry = os.path.join(user.home, ".config", "autostart", "zephmonitor.desktop")
        monitor = Monitor(user, [self.launcher])
        try:
            # Started with the desktop, it is started the same way.
            monitor.send("startup")
            monitor.err.wait_for(r"^\[x\] Launch ", 10)
            monitor.exit(self)
        finally:
            monitor.close()
        self.assertEqual(os.stat(program).st_ino, copied)
        validate(self, entry)
        keys = desktop_entry(entry)
        self.assertEqual(exec_arguments(keys["Exec"]), [self.launcher])
        self.assertEqual(keys.get("Icon"), "zephmonitor")

        # A new version: a program with a new time, then one with new
        # contents. The programs are copied again, the profile stays as the
        # user left it.
        later = time.time() + 10
        os.utime(os.path.join(self.installed, "ZephMonitor"), (later, later))
        monitor = Monitor(user, [self.launcher])
        try:
            monitor.exit(self)
        finally:
            monitor.close()
        self.assertNotEqual(os.stat(program).st_ino, copied)
        with open(os.path.join(self.installed, "zephweb.exe"), "wb") as f:
            f.write(read(os.path.join(self.installed, "zephcfg.exe")))
        check = user.run([os.path.join(self.prefix, "bin", "zephcheck"), "--help"])
        self.assertEqual(check.returncode, 0, check.stderr)
        self.assertEqual(read(os.path.join(folder, "zephweb.exe")),
                         read(os.path.join(self.installed, "zephcfg.exe")))
        self.assertEqual(read(profile), edited)
        # A data folder the user deleted is copied again.
        shutil.rmtree(os.path.join(folder, "curves"))
        self.assertEqual(user.run([os.path.join(self.prefix, "bin", "zephcheck"),
                                   "--help"]).returncode, 0)
        self.assertEqual(files_under(os.path.join(folder, "curves")),
                         files_under(os.path.join(self.installed, "curves")))
        self.assertNothingHalfMade(folder)

    def test_first_starts_at_once_make_one_folder(self):
        user = self.new_user()
        # XDG_DATA_HOME, where set, holds it.
        user.env["XDG_DATA_HOME"] = os.path.join(user.home, "data")
        check = os.path.join(self.prefix, "bin", "zephcheck")
        starts = [subprocess.Popen(user.command([check, "--help"]),
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   env=user.env, cwd=user.home)
                  for _ in range(4)]
        for start in starts:
            output = start.communicate(timeout=30)[0].decode()
            self.assertEqual(start.returncode, 0, output)
            self.assertRegex(output, "^usage: zephcheck ")
        folder = user.folder()
        self.assertTrue(folder.startswith(user.env["XDG_DATA_HOME"]))
        self.assertLessEqual(self.shipped, files_under(folder))
        self.assertNothingHalfMade(folder)

    def test_a_folder_that_cannot_be_made_or_updated_is_said_and_ends_the_start(self):
        user = self.new_user()
        folder = user.folder()
        os.chmod(user.home, 0o555)
        result = user.run([self.launcher, "-d"])
        self.assertNotEqual(result.returncode, 0)
        self.assertRegex(result.stderr, "^zephmonitor: cannot make your program folder "
                         + re.escape(folder) + ": .*Permission denied")
        self.assertEqual(os.listdir(user.home), [])

        # A file in its place: the copy made is not used, nor left behind.
        os.chmod(user.home, 0o755)
        self.assertEqual(user.run(["mkdir", "-p", os.path.dirname(folder)]).returncode, 0)
        self.assertEqual(user.run(["touch", folder]).returncode, 0)
        result = user.run([self.launcher, "-d"])
        self.assertNotEqual(result.returncode, 0)
        self.assertRegex(result.stderr, "^zephmonitor: cannot make your program folder "
                         + re.escape(folder) + ": mv: cannot overwrite")
        self.assertEqual(os.listdir(os.path.dirname(folder)), ["zephmonitor"])

        # A copy that cannot be brought up to date is not run half old.
        os.remove(folder)
        check = os.path.join(self.prefix, "bin", "zephcheck")
        self.assertEqual(user.run([check, "--help"]).returncode, 0)
        later = time.time() + 20
        os.utime(os.path.join(self.installed, "zephcheck"), (later, later))
        os.chmod(folder, 0o555)
        try:
            result = user.run([check, "--help"])
        finally:
            os.chmod(folder, 0o755)
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertRegex(result.stderr, "^zephcheck: cannot update your program folder "
                         + re.escape(folder) + ": .*Permission denied")
        self.assertEqual(result.stdout, "")

    def test_a_full_home_is_said_and_the_half_copy_goes(self):
        if self.uid is None or not shutil.which("unshare"):
            self.skipTest("a full home is made as root, with unshare")
        user = self.new_user()
        # A home of 4 MiB, in a mount namespace of its own; what is left in
        # it is listed before the namespace goes.
        script = ('mount -t tmpfs -o size=4m,mode=0755,uid=%d tmpfs "$HOME" || exit 99; '
                  '"$@"; status=$?; echo "left: $(ls -A "$HOME/.local/share")"; '
                  'exit $status' % self.uid)
        result = run(["unshare", "--mount", "sh", "-c", script, "sh"]
                     + user.command([self.launcher, "-d"]), env=user.env, timeout=30)
        if result.returncode == 99:
            self.skipTest("no tmpfs can be mounted here: " + result.stdout)
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertRegex(result.stdout, "(?m)^zephmonitor: cannot make your program folder "
                         + re.escape(user.folder()) + ": .*No space left on device")
        self.assertRegex(result.stdout, "(?m)^left: $")


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
        os.chmod(cls.scratch, 0o755)  # for the user who runs it
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
        self.assertEqual(exec_arguments(keys["Exec"]), ["/usr/bin/zephmonitor"])
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
                                   os.path.join(root, "usr", FOLDER), User(scratch))
            return

        files = []
        try:
            dpkg(self, ["--install", self.deb])
            listed = run(["dpkg-query", "--listfiles", PACKAGE]).stdout.split("\n")
            files = [p for p in listed if p and not os.path.isdir(p)]
            self.assertIn("/usr/bin/zephmonitor", files)
            self.assertIn("/usr/" + LAUNCHER, files)
            # Anyone runs it from a program folder of their own; root, who
            # may write the installed one, runs it there.
            nobody = User(os.path.join(scratch, "nobody"), NOBODY)
            start_and_stop_monitor(self, ["/usr/bin/zephmonitor"], nobody.folder(), nobody)
            self.assertEqual(os.listdir(folder + "/wyn"), os.listdir(nobody.folder() + "/wyn"))
            self.assertFalse(os.path.lexists(folder + "/zephmon.ini"))
            start_and_stop_monitor(self, ["/usr/bin/zephmonitor"], folder,
                                   User(os.path.join(scratch, "root")))
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
