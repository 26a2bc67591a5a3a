# The Windows installer under Wine, in a fresh prefix of its own: a silent
# install, the bar started from its shortcut, an upgrade over a running bar
# that holds typed text, the start at sign-in and a silent uninstall, each
# checked from outside (files, the registry, the X display).

import os
import pwd
import re
import shutil
import struct
import subprocess
import tempfile
import time

import pytest

from conftest import skip_suite
from harness import OPEN, PAD, WIDTH, Bar, Wine, read_bytes, settings_bytes, wait_for, write_bytes

ICON = os.path.join(os.path.dirname(__file__), "..", "..", "assets", "icons", "marglet.ico")
UNINSTALL = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Marglet"
RUN = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
TYPED = "typed just before the upgrade"
# The user's files beside the program, there before the bar first starts: an
# upgrade and an uninstall keep every byte of them.
USER_FILES = {
    "settings.dat": settings_bytes(3840, 70, "Blue", 0),
    "note02.qkn": b"second note\r\n",
    "note03.qkn": "caf\u00e9".encode("cp1252"),
    "note01 (rescued 2024-05-01 10-00-00).txt": b"rescued text",
    "note02 (conflicted copy 2024-05-01 10-00-00).qkn": b"the other side",
    "note03 (could not be read 2024-05-01 10-00-00).qkn": b"\x00\xff not text",
    os.path.join("skins", "Mine", "background.gif"): b"GIF89a the user's own skin",
}


def listing(folder):
    return {os.path.relpath(os.path.join(d, f), folder) for d, _, names in os.walk(folder)
            for f in names}


# The local path a Windows shortcut (.lnk) leads to, from its LinkInfo.
def shortcut_target(path):
    data = read_bytes(path)
    flags, = struct.unpack_from("<I", data, 0x14)
    info = 0x4C + (2 + struct.unpack_from("<H", data, 0x4C)[0] if flags & 1 else 0)
    local = info + struct.unpack_from("<I", data, info + 16)[0]
    return data[local:data.index(b"\0", local)].decode("cp1252")


# A fresh Wine prefix under the build folder, apart from the other tests'
# prefixes, and the session its programs show on.
class Windows:
    def __init__(self, session, build, out):
        self.root = os.path.abspath(os.path.join(build, "wine-installer"))
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        self.session, self.wine, self.out = session, Wine(self.root), out

    def run(self, *command, out=None):
        # What it starts (the bar, Wine's own services) may outlive it and
        # would hold a pipe open: its output goes to a file.
        with open(os.path.join(self.out, "marglet.log"), "ab") as log:
            return subprocess.run(command, env=self.wine.with_display(self.session.display),
                                  stdin=subprocess.DEVNULL, stdout=out or log, stderr=log,
                                  timeout=120).returncode

    # The values under a registry key, by name; none when it is absent.
    def registry(self, key):
        with tempfile.TemporaryFile() as out:
            self.run("wine", "reg", "query", key, out=out)
            out.seek(0)
            text = out.read().decode("utf-8", "replace")
        return dict(re.findall(r"^ {4}(\S+) {4}REG_\w+ {4}(.*?)\r?$", text, re.M))


if not shutil.which("wine"):
    skip_suite("wine is not installed")


@pytest.fixture
def windows(session, request):
    windows = Windows(session, request.config.getoption("build"), request.config.getoption("out"))
    yield windows
    windows.wine.end_server()
    shutil.rmtree(windows.root, ignore_errors=True)


# The processes behind the bars on screen.
def bar_pids(bar):
    return {(bar.session.prop(w, "_NET_WM_PID") or [None])[0] for w in bar.windows()
            if (bar.session.geometry(w) or [0] * 4)[2] == WIDTH} - {None}


def test_install_start_upgrade_sign_in_and_uninstall(windows, request):
    setup, program, version = (request.config.getoption(o) for o in ("setup", "program",
                                                                     "product_version"))
    wine, user = windows.wine, pwd.getpwuid(os.getuid()).pw_name
    appdata = os.path.join(wine.prefix, "drive_c", "users", user, "AppData")
    folder = os.path.join(appdata, "Local", "Programs", "Marglet")
    windows_folder = rf"C:\users\{user}\AppData\Local\Programs\Marglet"
    shortcut = os.path.join(appdata, "Roaming", "Microsoft", "Windows", "Start Menu", "Programs",
                            "Marglet.lnk")
    exe = windows_folder + r"\marglet.exe"
    assert os.path.basename(setup) == f"Marglet-Setup-{version}.exe"
    assert windows.run("wine", setup, "/S") == 0

    # Installed: the files, the shortcut and its key (M with Ctrl (2) and Alt
    # (4), the header's hot key field), the uninstall entry, the start at
    # sign-in, and the properties and icon Explorer shows.
    assert listing(folder) == listing(program) | {"Uninstall.exe"}
    assert shortcut_target(shortcut) == exe
    assert read_bytes(shortcut)[0x40:0x42] == b"M\x06"
    uninstaller = f'"{windows_folder}\\Uninstall.exe"'
    values = windows.registry(UNINSTALL)
    assert int(values.pop("EstimatedSize", "0"), 16) > 1000
    assert values == {
        "DisplayName": "QKS Marglet", "DisplayVersion": version, "Publisher": "QKS",
        "DisplayIcon": exe, "InstallLocation": windows_folder, "UninstallString": uninstaller,
        "QuietUninstallString": uninstaller + " /S", "NoModify": "0x1", "NoRepair": "0x1"}
    run_value = windows.registry(RUN)["Marglet"]
    assert run_value == f'"{exe}"'
    installed = os.path.join(folder, "marglet.exe")
    found = subprocess.run(["x86_64-w64-mingw32-windres", "-i", installed, "-O", "rc"],
                           check=True, stdout=subprocess.PIPE, text=True).stdout
    assert "FILEVERSION " + ", ".join((version + ".0.0").split(".")[:4]) in found
    for key, value in {"CompanyName": "QKS", "ProductName": "QKS Marglet",
                       "FileVersion": version, "ProductVersion": version}.items():
        assert f'VALUE "{key}", "{value}"' in found
    icon, exe_bytes = read_bytes(ICON), read_bytes(installed)
    for i in range(struct.unpack_from("<H", icon, 4)[0]):
        size, offset = struct.unpack_from("<II", icon, 6 + 16 * i + 8)
        assert icon[offset:offset + size] in exe_bytes, f"icon image {i}"

    # The bar as the shortcut starts it, on screen at its place.
    for name, data in USER_FILES.items():
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        write_bytes(os.path.join(folder, name), data)
    bar = Bar(windows.session, folder, wine=wine, program=shortcut_target(shortcut))
    assert bar.geometry() == (1920 - 256, 5, 185, 17)
    wait_for(lambda: bar.session.pixels(1920 - 256, 13, 185, 1)[0].count((0, 0, 0)) < 185, 10,
             "the bar drawn")

    # An upgrade while the bar holds text it has not saved yet, after the user
    # turned the start at sign-in off in Options: the bar is closed, saves,
    # and comes back; a program file of an older version is replaced; the
    # choice stays.
    assert windows.run("wine", "reg", "delete", RUN, "/v", "Marglet", "/f") == 0
    older = os.path.join(folder, "skins", "Blue", "max.gif")
    write_bytes(older, b"an older version's image")
    bar.slide(OPEN)
    bar.click(*PAD)
    time.sleep(0.3)
    windows.session.run("xdotool", "type", "--delay", "30", TYPED)
    assert windows.run("wine", setup, "/S") == 0
    assert bar.wait_exit(30) == 0

    def user_files_kept():
        assert read_bytes(os.path.join(folder, "note01.qkn")) == TYPED.encode()
        for name, data in USER_FILES.items():
            assert read_bytes(os.path.join(folder, name)) == data, name
    user_files_kept()
    assert read_bytes(older) == read_bytes(os.path.join(program, "skins", "Blue", "max.gif"))
    assert "Marglet" not in windows.registry(RUN)
    restarted, = wait_for(lambda: bar_pids(bar), 60, "the bar back")

    # Turned on again in Options, the value starts the bar at the next sign-in.
    assert windows.run("wine", "reg", "add", RUN, "/v", "Marglet", "/d", run_value, "/f") == 0
    windows.run("wineboot", "--end-session")
    wait_for(lambda: bar_pids(bar) - {restarted}, 60, "the bar started at sign-in")

    # A silent uninstall, over the running bar: the program goes, the user's
    # files stay. The uninstaller returns at once and works on from a copy of
    # itself; Wine's server ends once it has ended.
    assert windows.run("wine", os.path.join(folder, "Uninstall.exe"), "/S") == 0
    wait_for(lambda: not bar_pids(bar), 60, "the uninstaller to close the bar")
    subprocess.run(["wineserver", "-w"], env=wine.env, timeout=60)
    assert listing(folder) == set(USER_FILES) | {"note01.qkn"}
    user_files_kept()
    assert not os.path.exists(shortcut)
    assert windows.registry(UNINSTALL) == {}
    assert "Marglet" not in windows.registry(RUN)
