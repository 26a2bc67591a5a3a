"""Drives the real marglet binary on a private Xvfb server from outside.

Each test gets its own server (started with -displayfd, so parallel runs
never collide) and its own program folder: a copy of the binary with the
skins beside it, since the program keeps its files next to itself.
"""

import argparse
import os
import pwd
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

from xserver import Xvfb

ARGS = None


def parse_args():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary")
    parser.add_argument("--skins")
    parser.add_argument("--out", default=tempfile.gettempdir())
    ARGS, rest = parser.parse_known_args()
    return [sys.argv[0]] + rest


def copy_program(folder):
    """The binary, the modules it loads from beside itself, and the skins."""
    source = os.path.dirname(os.path.abspath(ARGS.binary))
    shutil.copy2(ARGS.binary, folder)
    for name in os.listdir(source):
        if name.startswith(("marglet_", "libmarglet_")) and ".so" in name:
            shutil.copy2(os.path.join(source, name), folder)
    shutil.copytree(ARGS.skins, os.path.join(folder, "skins"))


class Bar:
    """One running bar in its own program folder.

    `env` adds to (or, with None values, removes from) the bar's environment;
    `user` runs it as another user (through runuser, as root); `command`
    starts an installed bar instead of a copy in the folder. What the bar
    prints goes to a log outside its folder, read with output().
    """

    WIDTH = 185

    def __init__(self, server, folder=None, settings=None, wait=True, env=None, user=None,
                 command=None):
        self.server = server
        self.folder = folder or tempfile.mkdtemp(prefix="marglet-x11-")
        if command is None:
            binary = os.path.join(self.folder, "marglet")
            if not os.path.exists(binary):
                copy_program(self.folder)
            command = [binary]
        if settings is not None:
            with open(os.path.join(self.folder, "settings.dat"), "wb") as f:
                f.write(settings)
        environment = server.env()
        for key, value in (env or {}).items():
            if value is None:
                environment.pop(key, None)
            else:
                environment[key] = value
        if user:
            command = ["runuser", "-u", user, "--"] + command
        self.log = tempfile.NamedTemporaryFile(prefix="marglet-log-", suffix=".txt")
        if user:
            os.chmod(self.log.name, 0o666)
        self.proc = subprocess.Popen(command, env=environment, cwd=self.folder,
                                     stdout=self.log, stderr=subprocess.STDOUT)
        self.wid = None
        if wait:
            try:
                self.wid = self._find_window()
            except AssertionError:
                self.stop()  # a bar that hangs must not outlive its test
                raise

    def output(self):
        """Everything the bar printed so far."""
        with open(self.log.name, "rb") as f:
            return f.read().decode(errors="replace")

    def windows(self):
        """The program's visible top-level windows titled as the bar is."""
        found = []
        for wid in self.server.run("xdotool", "search", "--onlyvisible", "--name",
                                   "^QKS Marglet$", check=False).split():
            pid = self.server.run("xdotool", "getwindowpid", wid, check=False).strip()
            if not pid or int(pid) == self.pid():
                found.append(int(wid))
        return found

    def pid(self):
        """The bar's own process id (below runuser when run as another user)."""
        if not hasattr(self, "_pid"):
            self._pid = self.proc.pid
            children = f"/proc/{self.proc.pid}/task/{self.proc.pid}/children"
            deadline = time.time() + 5
            while os.path.exists(children) and time.time() < deadline:
                with open(children) as f:
                    kids = f.read().split()
                if kids:
                    self._pid = int(kids[0])
                    break
                with open(f"/proc/{self.proc.pid}/comm") as f:
                    if f.read().strip() != "runuser":
                        break
                time.sleep(0.02)
        return self._pid

    def width_of(self, wid):
        info = self.server.run("xwininfo", "-id", str(wid), check=False)
        m = re.search(r"Width:\s+(\d+)", info)
        return int(m.group(1)) if m else 0

    def message_windows(self):
        """The program's message boxes: its windows other than the bar."""
        return [w for w in self.windows() if w != self.wid]

    def _find_window(self):
        deadline = time.time() + 60
        while time.time() < deadline:
            # Messages carry the bar's title too: the bar is the strip.
            for wid in self.windows():
                if self.width_of(wid) == self.WIDTH:
                    return wid
            if self.proc.poll() is not None:
                raise AssertionError("the bar ended early: " + self.output())
            time.sleep(0.05)
        raise AssertionError("the bar's window never appeared")

    def geometry(self):
        info = self.server.run("xwininfo", "-id", str(self.wid))
        def field(name):
            return int(re.search(name + r":\s+(-?\d+)", info).group(1))
        return (field("Absolute upper-left X"), field("Absolute upper-left Y"),
                field("Width"), field("Height"))

    def prop(self, name):
        return self.server.run("xprop", "-id", str(self.wid), name, check=False)

    def opacity(self):
        """The window's alpha (0..255), or None when the property is absent."""
        m = re.search(r"= (\d+)", self.prop("_NET_WM_WINDOW_OPACITY"))
        return None if not m else round(int(m.group(1)) / 0x01010101)

    def click(self, x, y):
        """Clicks at a point in window coordinates, through the X server."""
        left, top, _, _ = self.geometry()
        self.server.run("xdotool", "mousemove", str(left + x), str(top + y), "click", "1")

    def wait_for(self, predicate, timeout=5.0, what="condition"):
        deadline = time.time() + timeout
        while time.time() < deadline:
            value = predicate()
            if value:
                return value
            time.sleep(0.02)
        raise AssertionError("timed out waiting for " + what)

    def wait_exit(self, timeout=10):
        return self.proc.wait(timeout)

    def stop(self):
        if self.proc.poll() is None:
            # runuser does not take its child along when it is killed.
            if self.pid() != self.proc.pid:
                try:
                    os.kill(self.pid(), signal.SIGKILL)
                except ProcessLookupError:
                    pass
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait(10)

    def file(self, name):
        return os.path.join(self.folder, name)


class XTestCase(unittest.TestCase):
    def setUp(self):
        self.server = Xvfb()
        self.bars = []

    def tearDown(self):
        for bar in self.bars:
            bar.stop()
        self.server.stop()

    def start(self, **kwargs):
        bar = Bar(self.server, **kwargs)
        self.bars.append(bar)
        return bar


def read_bytes(path):
    """A file's bytes, or None when there is none."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


_CAPABLE = {}


def require(what):
    """Skips the running test (or data row) where root may not do `what` on
    this machine (a container without the privilege), saying so; a machine
    that can runs the case."""
    if what not in _CAPABLE:
        scratch = tempfile.mkdtemp(prefix="marglet-probe-")
        target = os.path.join(scratch, "x")
        try:
            if what == "mount":
                os.mkdir(target)
                probe = [["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", target],
                         ["umount", target]]
            elif what == "chattr":
                open(target, "w").close()
                probe = [["chattr", "+i", target], ["chattr", "-i", target]]
            elif what == "mknod":
                probe = [["mknod", target, "c", "1", "3"]]
            else:
                raise ValueError(what)
            first = subprocess.run(probe[0], capture_output=True, text=True)
            for undo in probe[1:]:
                subprocess.run(undo, capture_output=True)
            _CAPABLE[what] = (first.stderr.strip() or "refused") if first.returncode else None
        finally:
            shutil.rmtree(scratch, ignore_errors=True)
    if _CAPABLE[what]:
        raise unittest.SkipTest(f"root may not {what} here: {_CAPABLE[what]}")


TEST_USER = "marglet-fault"


def ensure_test_user():
    """Makes the ordinary user the fault suites run bars as; True when this
    call made it, so that the caller removes it again."""
    try:
        pwd.getpwnam(TEST_USER)
        return False
    except KeyError:
        pass
    done = subprocess.run(["useradd", "-M", "-r", "-s", "/usr/sbin/nologin", TEST_USER],
                          capture_output=True, text=True)
    if done.returncode == 9:  # made by another suite meanwhile
        return False
    if done.returncode != 0:
        raise RuntimeError("useradd: " + done.stderr)
    return True


def settings_bytes(right, top, skin, transparency):
    records = [struct.pack("<h", right), struct.pack("<h", top),
               struct.pack("<H", len(skin)) + skin.encode("cp1252"), struct.pack("<h", transparency)]
    return b"".join(r.ljust(128, b"\0") for r in records)


def main():
    argv = parse_args()
    unittest.main(argv=argv, verbosity=2)
