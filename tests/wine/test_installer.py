"""The Windows installer under Wine, in a fresh prefix of its own: a silent
install, the bar started from its shortcut, an upgrade over a running bar
that holds typed text, the start at sign-in and a silent uninstall, each
checked from outside (files, the registry, the X display).

python3 test_installer.py --build BUILD --setup SETUP --program FOLDER --version V [--out DIR]
"""

import argparse
import os
import pwd
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "x11"))
import desktops  # noqa: E402
import xharness  # noqa: E402
from winebar import Bar, Wine  # noqa: E402

ARGS = None
PAD = (60, 100)
ICON = os.path.join(HERE, "..", "..", "assets", "icons", "marglet.ico")
UNINSTALL = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Marglet"
RUN = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
TYPED = "typed just before the upgrade"
# The user's files beside the program, there before the bar first starts:
# an upgrade and an uninstall keep every byte of them.
USER_FILES = {
    "settings.dat": xharness.settings_bytes(3840, 70, "Blue", 0),
    "note02.qkn": b"second note\r\n",
    "note03.qkn": "caf\u00e9".encode("cp1252"),
    "note01 (rescued 2024-05-01 10-00-00).txt": b"rescued text",
    "note02 (conflicted copy 2024-05-01 10-00-00).qkn": b"the other side",
    "note03 (could not be read 2024-05-01 10-00-00).qkn": b"\x00\xff not text",
    os.path.join("skins", "Mine", "background.gif"): b"GIF89a the user's own skin",
}

wait_for = desktops.wait_for
read_bytes = xharness.read_bytes


def listing(folder):
    return {os.path.relpath(os.path.join(d, f), folder) for d, _, names in os.walk(folder)
            for f in names}


def shortcut_target(path):
    """The local path a Windows shortcut (.lnk) leads to, from its LinkInfo."""
    data = read_bytes(path)
    flags, = struct.unpack_from("<I", data, 0x14)
    info = 0x4C + (2 + struct.unpack_from("<H", data, 0x4C)[0] if flags & 1 else 0)
    local = info + struct.unpack_from("<I", data, info + 16)[0]
    return data[local:data.index(b"\0", local)].decode("cp1252")


def resources(exe):
    """A Windows program's resources as windres reads them back."""
    return subprocess.run(["x86_64-w64-mingw32-windres", "-i", exe, "-O", "rc"], check=True,
                          stdout=subprocess.PIPE, text=True).stdout


class Installer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Under the build folder, apart from the other tests' prefixes.
        cls.root = os.path.abspath(os.path.join(ARGS.build, "wine-installer"))
        shutil.rmtree(cls.root, ignore_errors=True)
        os.makedirs(cls.root)
        cls.wine = Wine(cls.root)
        user = pwd.getpwuid(os.getuid()).pw_name
        home = os.path.join(cls.wine.prefix, "drive_c", "users", user, "AppData")
        cls.folder = os.path.join(home, "Local", "Programs", "Marglet")
        cls.windows_folder = rf"C:\users\{user}\AppData\Local\Programs\Marglet"
        cls.shortcut = os.path.join(home, "Roaming", "Microsoft", "Windows", "Start Menu",
                                    "Programs", "Marglet.lnk")

    @classmethod
    def tearDownClass(cls):
        cls.wine.end_server()
        shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.out = ARGS.out
        self.desk = desktops.Desktop("openbox")

    def tearDown(self):
        self.wine.end_server()
        self.desk.stop()

    def run_windows(self, *command, out=None):
        # What it starts (the bar, Wine's own services) may outlive it and
        # would hold a pipe open: its output goes to a file.
        with open(os.path.join(self.out, "marglet.log"), "ab") as log:
            return subprocess.run(command, env=self.wine.with_display(self.desk.display),
                                  stdin=subprocess.DEVNULL, stdout=out or log, stderr=log,
                                  timeout=120).returncode

    def registry(self, key):
        """The values under a registry key, by name; none when it is absent."""
        with tempfile.TemporaryFile() as out:
            self.run_windows("wine", "reg", "query", key, out=out)
            out.seek(0)
            text = out.read().decode("utf-8", "replace")
        return dict(re.findall(r"^ {4}(\S+) {4}REG_\w+ {4}(.*?)\r?$", text, re.M))

    def bar_pids(self, bar):
        """The processes behind the bars on screen, each with its window."""
        found = {}
        for wid in bar.windows("QKS Marglet"):
            m = re.search(r"= (\d+)", bar.prop("_NET_WM_PID", wid))
            if m and bar.geometry(wid)[2] == Bar.WIDTH:
                found[int(m.group(1))] = wid
        return found

    def change_registry(self, *args):
        self.assertEqual(self.run_windows("wine", "reg", *args, "/f"), 0)

    def assert_user_files_kept(self):
        self.assertEqual(read_bytes(os.path.join(self.folder, "note01.qkn")), TYPED.encode())
        for name, data in USER_FILES.items():
            self.assertEqual(read_bytes(os.path.join(self.folder, name)), data, name)

    def assert_installed(self, program):
        self.assertEqual(listing(self.folder), program | {"Uninstall.exe"})
        exe = self.windows_folder + r"\marglet.exe"
        self.assertEqual(shortcut_target(self.shortcut), exe)
        # Its key: M with Ctrl (2) and Alt (4), the header's hot key field.
        self.assertEqual(read_bytes(self.shortcut)[0x40:0x42], b"M\x06")
        uninstaller = f'"{self.windows_folder}\\Uninstall.exe"'
        values = self.registry(UNINSTALL)
        self.assertGreater(int(values.pop("EstimatedSize", "0"), 16), 1000)
        self.assertEqual(values, {
            "DisplayName": "QKS Marglet", "DisplayVersion": ARGS.version, "Publisher": "QKS",
            "DisplayIcon": exe, "InstallLocation": self.windows_folder,
            "UninstallString": uninstaller, "QuietUninstallString": uninstaller + " /S",
            "NoModify": "0x1", "NoRepair": "0x1"})
        self.assertEqual(self.registry(RUN).get("Marglet"), f'"{exe}"')
        # The properties Explorer shows, and the icon's images in the program.
        installed = os.path.join(self.folder, "marglet.exe")
        found = resources(installed)
        self.assertIn("FILEVERSION " + ", ".join((ARGS.version + ".0.0").split(".")[:4]), found)
        for key, value in {"CompanyName": "QKS", "ProductName": "QKS Marglet",
                           "FileVersion": ARGS.version, "ProductVersion": ARGS.version}.items():
            self.assertIn(f'VALUE "{key}", "{value}"', found)
        icon, exe_bytes = read_bytes(ICON), read_bytes(installed)
        for i in range(struct.unpack_from("<H", icon, 4)[0]):
            size, offset = struct.unpack_from("<II", icon, 6 + 16 * i + 8)
            self.assertIn(icon[offset:offset + size], exe_bytes, f"icon image {i}")

    def test_install_start_upgrade_sign_in_and_uninstall(self):
        program = listing(ARGS.program)
        self.assertEqual(os.path.basename(ARGS.setup), f"Marglet-Setup-{ARGS.version}.exe")
        self.assertEqual(self.run_windows("wine", ARGS.setup, "/S"), 0)
        self.assert_installed(program)
        run_value = self.registry(RUN)["Marglet"]

        # The bar as the shortcut starts it, on screen at its place.
        for name, data in USER_FILES.items():
            os.makedirs(os.path.dirname(os.path.join(self.folder, name)), exist_ok=True)
            with open(os.path.join(self.folder, name), "wb") as f:
                f.write(data)
        bar = Bar(self, self.folder, program=shortcut_target(self.shortcut))
        self.assertEqual(bar.geometry(), (1920 - 256, 5, 185, 17))
        wait_for(lambda: self.desk.pixels(1920 - 256, 5 + 8, 185, 1)[0].count((0, 0, 0)) < 185,
                 10, "the bar drawn")
        self.desk.screenshot(os.path.join(self.out, "installer-started.png"),
                             1920 - 300, 0, 300, 40)

        # An upgrade while the bar holds text it has not saved yet, after the
        # user turned the start at sign-in off in Options: the bar is closed,
        # saves, and comes back; a program file of an older version is
        # replaced; the choice stays.
        self.change_registry("delete", RUN, "/v", "Marglet")
        older = os.path.join(self.folder, "skins", "Blue", "max.gif")
        with open(older, "wb") as f:
            f.write(b"an older version's image")
        bar.slide(343)
        bar.click(*PAD)
        time.sleep(0.3)
        self.desk.run("xdotool", "type", "--delay", "30", TYPED)
        self.assertEqual(self.run_windows("wine", ARGS.setup, "/S"), 0)
        self.assertEqual(bar.proc.wait(30), 0)
        self.assert_user_files_kept()
        self.assertEqual(read_bytes(older), read_bytes(os.path.join(ARGS.program, "skins", "Blue",
                                                                    "max.gif")))
        self.assertNotIn("Marglet", self.registry(RUN))
        (restarted, bar.wid), = wait_for(lambda: self.bar_pids(bar), 60, "the bar back").items()
        bar.slide(343)
        self.desk.screenshot(os.path.join(self.out, "installer-upgraded.png"), 1920 - 300, 0, 300,
                             360)

        # Turned on again in Options, the value starts the bar at the next
        # sign-in.
        self.change_registry("add", RUN, "/v", "Marglet", "/d", run_value)
        self.run_windows("wineboot", "--end-session")
        wait_for(lambda: set(self.bar_pids(bar)) - {restarted}, 60, "the bar started at sign-in")

        # A silent uninstall, over the running bar: the program goes, the
        # user's files stay. The uninstaller returns at once and works on
        # from a copy of itself; Wine's server ends once it has ended.
        self.assertEqual(self.run_windows("wine", os.path.join(self.folder, "Uninstall.exe"), "/S"),
                         0)
        wait_for(lambda: not self.bar_pids(bar), 60, "the uninstaller to close the bar")
        subprocess.run(["wineserver", "-w"], env=self.wine.env, timeout=60)
        self.assertEqual(listing(self.folder), set(USER_FILES) | {"note01.qkn"})
        self.assert_user_files_kept()
        self.assertFalse(os.path.exists(self.shortcut))
        self.assertEqual(self.registry(UNINSTALL), {})
        self.assertNotIn("Marglet", self.registry(RUN))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--setup", required=True)
    parser.add_argument("--program", required=True, help="the folder the installer was made from")
    parser.add_argument("--version", required=True)
    parser.add_argument("--out", default=tempfile.gettempdir())
    ARGS, rest = parser.parse_known_args()
    os.makedirs(ARGS.out, exist_ok=True)
    if not shutil.which("wine"):
        print("wine is not installed")
        return 77
    program = unittest.main(argv=[sys.argv[0]] + rest, verbosity=2, exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
