"""The Windows program under Wine, as test_window.py drives it: a Wine
prefix of its own, and marglet.exe started from a copy of the program folder
and read from outside with xdotool, xwininfo and xprop.
"""

import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "x11"))
import desktops  # noqa: E402

MAXMIN = (152 + 7, 1 + 7)
wait_for = desktops.wait_for


class Wine:
    """A Wine prefix of its own, set up once for the module: the program's
    settings and notes stay in its folder, but Wine keeps its registry and
    its own processes there."""

    def __init__(self, root, probe=None):
        self.probe = probe
        self.prefix = os.path.join(root, "prefix")
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("WINE", "QT_"))}
        # No menu builder: a shortcut made in the prefix would become a menu
        # entry in the home of whoever runs the tests.
        self.env.update({"WINEPREFIX": self.prefix, "WINEDEBUG": "-all", "WINEARCH": "win64",
                         "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"})
        subprocess.run(["wineboot", "-i"], env=self.env, check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.end_server()

    def with_display(self, display):
        return dict(self.env, DISPLAY=display)

    def foreground(self, display, *args):
        """Runs the foreground probe: the foreground window's title, or with
        ("type", TEXT) keys typed through the system's input."""
        return subprocess.run(["wine", self.probe, *args], env=self.with_display(display),
                              capture_output=True, text=True, timeout=60).stdout.strip()

    def end_server(self):
        # Each session starts its own server, on that session's display.
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)
        subprocess.run(["wineserver", "-w"], env=self.env, check=False)


class Bar:
    """marglet.exe started from a copy of the program folder (or `program`,
    a Windows path, from the folder it names)."""

    WIDTH = 185

    def __init__(self, case, folder, settings=None, program="marglet.exe"):
        self.case, self.server, self.folder = case, case.desk, folder
        if settings is not None:
            with open(os.path.join(folder, "settings.dat"), "wb") as f:
                f.write(settings)
        self.log = open(os.path.join(case.out, "marglet.log"), "ab")
        self.proc = subprocess.Popen(["wine", program], cwd=folder,
                                     env=case.wine.with_display(self.server.display),
                                     stdout=self.log, stderr=subprocess.STDOUT,
                                     stdin=subprocess.DEVNULL)
        self.wid = wait_for(self._find, 60, "the bar's window")

    def _find(self):
        for wid in self.server.run("xdotool", "search", "--onlyvisible", "--name",
                                   "^QKS Marglet$", check=False).split():
            if self.geometry(wid)[2] == self.WIDTH:
                return int(wid)
        if self.proc.poll() is not None:
            raise AssertionError("the bar ended early")
        return None

    def geometry(self, wid=None):
        info = self.server.run("xwininfo", "-id", str(wid or self.wid), check=False)
        fields = [re.search(name + r":\s+(-?\d+)", info)
                  for name in ("Absolute upper-left X", "Absolute upper-left Y", "Width",
                               "Height")]
        return tuple(int(m.group(1)) if m else -1 for m in fields)

    def prop(self, name, wid=None):
        return self.server.run("xprop", "-id", str(wid or self.wid), name, check=False)

    def opacity(self):
        m = re.search(r"= (\d+)", self.prop("_NET_WM_WINDOW_OPACITY"))
        return None if not m else round(int(m.group(1)) / 0x01010101)

    def click(self, x, y, wid=None):
        left, top, _, _ = self.geometry(wid)
        self.server.run("xdotool", "mousemove", str(left + x), str(top + y))
        time.sleep(0.15)
        self.server.run("xdotool", "click", "1")

    def slide(self, height):
        self.click(*MAXMIN)
        wait_for(lambda: self.geometry()[3] == height, 5, f"the height {height}")

    def file(self, name):
        return os.path.join(self.folder, name)

    def windows(self, title):
        return [int(w) for w in self.server.run("xdotool", "search", "--onlyvisible", "--name",
                                                f"^{title}$", check=False).split()]
