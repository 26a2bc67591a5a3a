# The one harness of the suites that drive the real bar from outside. A
# Session is a display (a private Xvfb with a window manager or none, or a
# headless Wayland compositor with XWayland) that reads what the X server and
# the manager say and sends real input; a Bar is the program running in a
# program folder of its own, natively or under Wine. `python3 harness.py WM`
# starts a session by hand.

import contextlib
import os
import pwd
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import uuid
import zlib
from unittest import mock

from Xlib import X, Xatom, display as xdisplay, error
from Xlib.protocol import event

TITLE, WIDTH, SHUT, OPEN = "QKS Marglet", 185, 17, 343
# Points of the bar's window.
MAXMIN, CLOSE, PAD, TAB2 = (159, 8), (176, 8), (60, 100), (80, 36)
SAVE_AS, OPTIONS, ABOUT = (92, 264), (53, 315), (132, 315)
TABS = {1: (37, 38), 2: (89, 38), 3: (141, 38)}  # Note 01 to Note 03
STRIP = ((60, 4), (64, 134, 246))  # a point of the Blue title strip and its colour
TEST_USER = "marglet-fault"
BINARY, SKINS, OUT = None, None, tempfile.gettempdir()  # set by conftest.py

WINDOW_MANAGERS = {
    "none": [],
    "mutter": [["mutter", "--x11", "--replace", "--sm-disable"]],
    "kwin_x11": [["kwin_x11", "--replace"]],
    "xfwm4": [["xfwm4", "--compositor=off", "--sm-client-disable"]],
    "xfwm4-compositor": [["xfwm4", "--compositor=on", "--sm-client-disable"]],
    "openbox": [["openbox", "--sm-disable"]],
    # xrender keeps picom off llvmpipe; /dev/null keeps it off any user config.
    "openbox-picom": [["openbox", "--sm-disable"],
                      ["picom", "--backend", "xrender", "--config", "/dev/null"]],
    "fluxbox": [["fluxbox"]],
    "icewm": [["icewm"]],
}
# Ready once they own the compositing selection: the screen is painted.
COMPOSITED = {"mutter", "kwin_x11", "xfwm4-compositor", "openbox-picom"}
# Wayland sessions and what each needs: mutter's screen is read through PipeWire.
COMPOSITORS = {
    "mutter-wayland": ["mutter", "Xwayland", "pipewire", "wireplumber", "gst-launch-1.0"],
    "kwin_wayland": ["kwin_wayland", "Xwayland"],
}


def missing_programs(wm):
    return [p for p in COMPOSITORS.get(wm) or [c[0] for c in WINDOW_MANAGERS[wm]]
            if not shutil.which(p)]


# The compositor ended as it started: it cannot run here.
class Unavailable(RuntimeError):
    pass


# The predicate's first true value; `what` may be a function, to say at the
# deadline how things stand.
def wait_for(predicate, timeout=30.0, what="condition"):
    deadline = time.time() + timeout
    while not (value := predicate()):
        if time.time() > deadline:
            raise AssertionError("timed out waiting for " + (what() if callable(what) else what))
        time.sleep(0.02)
    return value


def holds(predicate, seconds, what):
    deadline = time.time() + seconds
    while time.time() < deadline:
        assert predicate(), what
        time.sleep(0.05)


def read_bytes(path):
    with contextlib.suppress(FileNotFoundError), open(path, "rb") as f:
        return f.read()


def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


# (row, first, last): the columns the open bar's outline keeps on sample rows.
OUTLINE = [(0, 2, 182), (1, 1, 183), (8, 0, 184), (15, 1, 183), (16, 2, 182), (17, 6, 178),
           (18, 4, 180), (19, 3, 181), (20, 2, 182), (21, 1, 183), (22, 1, 183), (23, 0, 184),
           (200, 0, 184), (336, 0, 184), (337, 1, 183), (339, 2, 182), (340, 3, 181),
           (341, 4, 180), (342, 6, 178)]


# (row, column) where the open bar at left, top is cut where it should not
# be, or drawn (over a `background` root) where it should be cut.
def outline_faults(session, left, top, background):
    rows = session.pixels(left, top, WIDTH, OPEN)
    return [(row, col) for row, first, last in OUTLINE for col in range(WIDTH)
            if (rows[row][col] == background) == (first <= col <= last)]


def settings_bytes(right, top, skin, transparency):
    records = [struct.pack("<h", right), struct.pack("<h", top),
               struct.pack("<H", len(skin)) + skin.encode("cp1252"),
               struct.pack("<h", transparency)]
    return b"".join(r.ljust(128, b"\0") for r in records)


# The binary, the modules it loads from beside itself, and the skins.
def copy_program(folder):
    source = os.path.dirname(os.path.abspath(BINARY))
    for name in os.listdir(source):
        if name == os.path.basename(BINARY) or (
                name.startswith(("marglet_", "libmarglet_")) and ".so" in name):
            shutil.copy2(os.path.join(source, name), folder)
    shutil.copytree(SKINS, os.path.join(folder, "skins"))


# True when this call made the user, for the caller to remove.
def ensure_test_user():
    with contextlib.suppress(KeyError):
        return not pwd.getpwnam(TEST_USER)
    done = subprocess.run(["useradd", "-M", "-r", "-s", "/usr/sbin/nologin", TEST_USER],
                          capture_output=True, text=True)
    if done.returncode not in (0, 9):  # 9: made by another suite meanwhile
        raise RuntimeError("useradd: " + done.stderr)
    return done.returncode == 0


def _from_bgrx(data, w, h, stride):
    rows = b"".join(data[r * stride:r * stride + w * 4] for r in range(h))
    rgb = bytearray(w * h * 3)
    for i in range(3):
        rgb[i::3] = rows[2 - i::4]
    return bytes(rgb)


# What the bus activates double-forks away to init, which here reaps only
# every few seconds; under this subreaper it stays in the session.
_REAPER = r"""
import ctypes, os, signal, subprocess, sys
ctypes.CDLL(None).prctl(36, 1)  # PR_SET_CHILD_SUBREAPER
signal.signal(signal.SIGTERM, lambda *_: None)
subprocess.Popen(sys.argv[1:])
with __import__("contextlib").suppress(ChildProcessError):
    while True:
        os.wait()
"""

_WINDOW = r"""
import os, sys
from Xlib import X, Xatom, Xutil, display
d = display.Display()
s, a, title = d.screen(), d.intern_atom, sys.argv[1]
w = s.root.create_window(60, 60, 480, 320, 0, s.root_depth, background_pixel=s.white_pixel)
w.set_wm_name(title)
w.change_property(a("_NET_WM_NAME"), a("UTF8_STRING"), 8, title.encode())
w.set_wm_class("marglet-probe", "MargletProbe")
w.set_wm_hints(flags=Xutil.InputHint, input=1)
w.set_wm_protocols([a("WM_DELETE_WINDOW")])
w.change_property(a("_NET_WM_PID"), Xatom.CARDINAL, 32, [os.getpid()])
w.change_property(a("_NET_WM_WINDOW_TYPE"), Xatom.ATOM, 32, [a("_NET_WM_WINDOW_TYPE_NORMAL")])
w.map()
print(w.id, flush=True)
while True:
    e = d.next_event()
    if e.type == X.ClientMessage and e.data[1][0] == a("WM_DELETE_WINDOW"):
        break
"""

# A display of `size` under `wm` (WINDOW_MANAGERS or COMPOSITORS);
# `accessibility` starts the accessibility bus's launcher as a desktop does at
# log-in; with `manager_later` the manager starts only at start_manager().
class Session:
    timeout = 30.0

    def __init__(self, wm="none", size=(1920, 1080), accessibility=False, manager_later=False):
        self.wm, self.size, self.procs, self.displays = wm, size, [], []
        self.display = self.x = self.bus = self.compositor = None
        self.wayland = {}
        # Everything started here inherits this mark, so that stop() finds
        # even what leaves its process group.
        self._mark = uuid.uuid4().hex
        self.home = tempfile.mkdtemp(prefix="marglet-session-")
        os.makedirs(os.path.join(self.home, "run"), mode=0o700)
        # fluxbox's style sets a wallpaper through fbsetbg, which pops up a
        # message box where it cannot; the overlay forbids it.
        os.makedirs(os.path.join(self.home, ".fluxbox"))
        write_bytes(os.path.join(self.home, ".fluxbox", "overlay"), b"background: none\n")
        self.log = os.path.join(self.home, "session.log")
        self._log = open(self.log, "ab")
        try:
            if wm not in COMPOSITORS:
                read, write = os.pipe()
                self.server = self.spawn(["Xvfb", "-displayfd", str(write), "-screen", "0",
                                          "%dx%dx24" % size, "-nolisten", "tcp", "-noreset"],
                                         pass_fds=(write,), stdout=subprocess.DEVNULL)
                os.close(write)
                with os.fdopen(read, "rb") as pipe:
                    self.display = ":" + pipe.readline().decode().strip()
                self.x = self.connect()
            if wm != "none" or accessibility:
                # mutter and kwin need a session bus, and GTK (xfwm4) without
                # one autolaunches a bus that outlives the session.
                self.bus = self.spawn([sys.executable, "-c", _REAPER, "dbus-daemon", "--session",
                                       "--nofork", "--nopidfile", "--print-address"],
                                      stdout=subprocess.PIPE).stdout.readline().decode().strip()
            if wm in COMPOSITORS:
                self._start_compositor()
            if accessibility:
                self.spawn(["/usr/libexec/at-spi-bus-launcher"])
                self._wait(lambda: "org.a11y.Bus" in self.bus_call(
                    "org.freedesktop.DBus", "/org/freedesktop/DBus",
                    "org.freedesktop.DBus.ListNames"), "accessibility bus launcher")
            if not manager_later:
                self.start_manager()
        except BaseException:
            self.stop()
            raise

    @property
    def root(self):
        return self.x.screen().root

    def start_manager(self):
        for command in WINDOW_MANAGERS.get(self.wm, []):
            self.spawn(command)
        if self.wm in COMPOSITORS or self.wm == "none":
            return
        # The check window must be live and point at itself (a dead manager
        # leaves a stale id), and someone must hold the root's redirect.
        check = lambda: self.prop(self.root, "_NET_SUPPORTING_WM_CHECK")  # noqa: E731
        self._wait(lambda: check() and self.prop(check()[0], "_NET_SUPPORTING_WM_CHECK") == check()
                   and self.root.get_attributes().all_event_masks & X.SubstructureRedirectMask,
                   "window manager managing windows")
        # Qt reads the work area at start; icewm and openbox set it a moment
        # after they manage windows, and KWin only for struts.
        if self.wm != "kwin_x11":
            self._wait(lambda: self.prop(self.root, "_NET_WORKAREA"), "work area")
        if self.wm in COMPOSITED:
            self._wait(lambda: self.x.get_selection_owner(self.atom("_NET_WM_CM_S0")) != X.NONE,
                       "compositor")

    def _start_compositor(self):
        # The compositor starts XWayland, then a command that reports the
        # session's environment.
        run, report = os.path.join(self.home, "run"), os.path.join(self.home, "session.env")
        command, (width, height) = f"env > {report}; exec sleep infinity", self.size
        if self.wm == "mutter-wayland":
            for program in ("pipewire", "wireplumber"):
                self.spawn([program])
            self._wait(lambda: os.path.exists(os.path.join(run, "pipewire-0")), "PipeWire")
            self.server = self.spawn(["mutter", "--wayland", "--headless", "--virtual-monitor",
                                      f"{width}x{height}", "--wayland-display", "wayland-marglet",
                                      "--", "sh", "-c", command])
        else:
            # The installed kwin_wayland carries a file capability that a
            # container may refuse at exec; a plain copy, named so that KWin
            # still knows itself, runs. Its fake input goes only to a program
            # whose desktop entry asks for it, the first entry found for it
            # (Python ships one): this one, in the folder listed first.
            kwin, share = os.path.join(self.home, "kwin_wayland"), os.path.join(self.home, "share")
            shutil.copy(shutil.which("kwin_wayland"), kwin)
            os.makedirs(os.path.join(share, "applications"))
            python = os.path.realpath(sys.executable)
            write_bytes(os.path.join(share, "applications", os.path.basename(python) + ".desktop"),
                        b"[Desktop Entry]\nType=Application\nName=Marglet tests\nNoDisplay=true\n"
                        b"Exec=%s\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n"
                        % python.encode())
            self.server = self.spawn([kwin, "--virtual", "--xwayland", "--width", str(width),
                                      "--height", str(height), "--socket", "wayland-marglet",
                                      "--no-lockscreen", f"sh -c '{command}'"],
                                     env={"KWIN_SCREENSHOT_NO_PERMISSION_CHECKS": "1",
                                          "XDG_DATA_DIRS": share + ":/usr/share"})
        try:
            self._wait(lambda: os.path.exists(report) and os.path.getsize(report), "XWayland")
        except RuntimeError as e:
            raise (Unavailable(str(e)) if self.server.poll() is not None else e) from None
        with open(report) as f:
            told = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        # mutter holds a second display for the services it starts.
        self.display = told["DISPLAY"]
        self.displays = [told[k] for k in ("DISPLAY", "GNOME_SETUP_DISPLAY") if k in told]
        self.wayland = {"WAYLAND_DISPLAY": os.path.join(run, told["WAYLAND_DISPLAY"]),
                        "XAUTHORITY": told.get("XAUTHORITY"), "XDG_RUNTIME_DIR": run,
                        "XDG_SESSION_TYPE": "wayland"}
        self.x = self.connect()
        self.compositor = (Mutter(self.bus, width, run) if self.wm == "mutter-wayland"
                           else KWin(self.bus, self.wayland["WAYLAND_DISPLAY"]))

    def connect(self):
        # python3-xlib reads XWayland's cookie's file from the environment.
        with mock.patch.dict(os.environ, XAUTHORITY=self.wayland.get("XAUTHORITY") or ""):
            return xdisplay.Display(self.display)

    # The environment of a client of the session, the bar's among them.
    def env(self):
        env = {k: v for k, v in os.environ.items() if k not in (
            "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "WAYLAND_DISPLAY",
            "QT_QPA_PLATFORM") and not (self.wayland and k == "XAUTHORITY")}
        env.update(DISPLAY=self.display, DBUS_SESSION_BUS_ADDRESS=self.bus, **self.wayland)
        return {k: v for k, v in env.items() if v is not None}

    # Starts a process of the session (ended by stop()) with a HOME and runtime folder of the
    # session's own; `env` adds to its environment.
    def spawn(self, command, env=None, **kwargs):
        base = {k: v for k, v in self.env().items() if not k.startswith("XDG_")
                and k != "SESSION_MANAGER"}
        # NO_AT_BRIDGE: GTK (xfwm4) would start an accessibility bus of its own.
        base.update(MARGLET_SESSION=self._mark, HOME=self.home, NO_AT_BRIDGE="1",
                    XDG_RUNTIME_DIR=os.path.join(self.home, "run"), **(env or {}))
        kwargs.setdefault("stdout", self._log)
        self.procs.append(subprocess.Popen(command, env=base, cwd=self.home, stderr=self._log,
                                           start_new_session=True, **kwargs))
        return self.procs[-1]

    def run(self, *cmd, check=True):
        return subprocess.run(cmd, env=self.env(), check=check, capture_output=True, text=True,
                              timeout=60).stdout

    # Ids of the live processes this session started, however they left.
    def processes(self):
        mark, found = b"MARGLET_SESSION=" + self._mark.encode(), []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            with contextlib.suppress(OSError):
                if mark in (read_bytes(f"/proc/{pid}/environ") or b"").split(b"\0"):
                    found.append(int(pid))
        return found

    def stop(self):
        for connection in filter(None, [self.compositor, self.x]):
            with contextlib.suppress(Exception):
                connection.close()  # the server may have gone first
        # What the manager or the bus started goes first, while its parent
        # lives to reap it (a zombie has no environment, so no longer counts);
        # a leader not yet reaped keeps its group id from being reused.
        ours = {p.pid for p in self.procs}
        for kill, live in ((os.kill, lambda: [p for p in self.processes() if p not in ours]),
                           (os.killpg, lambda: [p.pid for p in self.procs if p.poll() is None])):
            for sig in (signal.SIGTERM, signal.SIGKILL):
                for pid in live():
                    with contextlib.suppress(ProcessLookupError):
                        kill(pid, sig)
                with contextlib.suppress(AssertionError):
                    wait_for(lambda: not live(), 3)
        for proc in filter(lambda p: p.stdout, self.procs):
            proc.stdout.close()
        # A killed compositor leaves its displays' locks and sockets behind.
        for number in (d.lstrip(":") for d in self.displays):
            with contextlib.suppress(OSError, ValueError, TypeError):
                if not os.path.exists(f"/proc/{int(read_bytes(f'/tmp/.X{number}-lock'))}"):
                    os.remove(f"/tmp/.X{number}-lock")
                    os.remove(f"/tmp/.X11-unix/X{number}")
        self._log.close()
        shutil.rmtree(self.home, ignore_errors=True)

    def _wait(self, predicate, what):
        deadline = time.time() + self.timeout
        while not predicate():
            dead = [p for p in self.procs if p.poll() is not None]
            if dead or time.time() > deadline:
                why = f"{dead[0].args} ended with {dead[0].returncode}" if dead else "in time"
                output = read_bytes(self.log).decode(errors="replace")[-4000:]
                raise RuntimeError(f"{self.wm}: no {what}: {why}; the session's output:\n{output}")
            time.sleep(0.02)

    # What the server and the manager say.

    def atom(self, name):
        return self.x.intern_atom(name)

    def window(self, wid):
        return wid if hasattr(wid, "id") else self.x.create_resource_object("window", wid)

    # A property's values (bytes for strings); None if it or the window is gone.
    def prop(self, wid, name):
        with contextlib.suppress(error.BadWindow):
            value = self.window(wid).get_full_property(self.atom(name), X.AnyPropertyType)
            if value is not None:
                return value.value if value.format == 8 else list(value.value)

    def state(self, wid):
        return {self.x.get_atom_name(a) for a in self.prop(wid, "_NET_WM_STATE") or []}

    def windows(self, title):
        return [int(w) for w in self.run("xdotool", "search", "--onlyvisible", "--name",
                                          f"^{title}$", check=False).split()]

    # (x, y, width, height) on the screen; None once the window is gone.
    def geometry(self, wid):
        with contextlib.suppress(error.BadWindow, error.BadDrawable):
            g = self.window(wid).get_geometry()
            at = self.window(wid).translate_coords(self.root, 0, 0)
            return (-at.x, -at.y, g.width, g.height)

    # The window's outer rectangle with the frame its manager draws.
    def frame(self, wid):
        x, y, w, h = self.geometry(wid)
        left, right, top, bottom = self.prop(wid, "_NET_FRAME_EXTENTS") or (0, 0, 0, 0)
        return (x - left, y - top, w + left + right, h + top + bottom)

    def accepts_focus(self, wid):
        return self.window(wid).get_wm_hints().input

    def active_window(self):
        return (self.prop(self.root, "_NET_ACTIVE_WINDOW") or [None])[0] or None

    # Whether the input focus is on the window or one inside it.
    def focus_within(self, wid):
        focus = self.x.get_input_focus().focus
        focus = None if focus in (X.NONE, X.PointerRoot) else focus.id
        # A dialog may go while its tree is walked: then the focus is not
        # (yet) known to be within, and the caller's wait asks again.
        with contextlib.suppress(error.BadWindow):
            while focus and focus != self.root.id and focus != wid:
                focus = self.window(focus).query_tree().parent.id
            return focus == wid
        return False

    # A screen area as the screen shows it: packed RGB bytes, row by row.
    def rgb(self, x, y, w, h):
        if self.compositor:
            return self.compositor.rgb(x, y, w, h)
        return _from_bgrx(self.root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF).data, w, h, w * 4)

    def pixels(self, x, y, w, h):
        rgb = self.rgb(x, y, w, h)
        return [list(zip(*(rgb[r * w * 3 + i:(r + 1) * w * 3:3] for i in range(3))))
                for r in range(h)]

    # Saves a screen area as the PNG OUT/name, for a person to look at.
    def screenshot(self, name, x=0, y=0, w=None, h=None):
        w, h = w or self.size[0], h or self.size[1]
        rgb = self.rgb(x, y, w, h)
        raw = b"".join(b"\0" + rgb[r * w * 3:(r + 1) * w * 3] for r in range(h))
        os.makedirs(OUT, exist_ok=True)
        write_bytes(os.path.join(OUT, name), b"\x89PNG\r\n\x1a\n" + b"".join(
            struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
            for kind, data in ((b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)),
                               (b"IDAT", zlib.compress(raw, 1)), (b"IEND", b""))))

    # What a desktop does.

    # Sends a client message about `window` (default: target); to the root, to the manager.
    def client_message(self, target, kind, data, window=None):
        target = self.window(target)
        message = event.ClientMessage(window=self.window(window or target.id),
                                      client_type=self.atom(kind),
                                      data=(32, (list(data) + [0] * 5)[:5]))
        target.send_event(message, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask
                          if target.id == self.root.id else 0)
        self.x.flush()

    # Asks for a window to be active as a pager does (source 2, granted without the checks an
    # application meets), or does what a manager would; True once it is.
    def activate(self, wid):
        if self.wm == "none":
            self.window(wid).configure(stack_mode=X.Above)
            self.window(wid).set_input_focus(X.RevertToParent, X.CurrentTime)
            self.x.sync()
        elif self.active_window() != wid:
            self.client_message(self.root, "_NET_ACTIVE_WINDOW", [2, X.CurrentTime], window=wid)
        return self.focus_within(wid) and (self.wm == "none" or self.active_window() == wid)

    def close_window(self, wid):
        if self.atom("_NET_CLOSE_WINDOW") in (self.prop(self.root, "_NET_SUPPORTED") or []):
            self.client_message(self.root, "_NET_CLOSE_WINDOW", [X.CurrentTime, 2], window=wid)
        else:
            self.client_message(wid, "WM_PROTOCOLS", [self.atom("WM_DELETE_WINDOW"), X.CurrentTime])

    def set_root_colour(self, rgb):
        # Compositors (picom, xfwm4's) paint the wallpaper pixmap named on
        # the root rather than its background; mutter paints its own.
        self.root.change_attributes(background_pixel=rgb)
        self.root.clear_area(0, 0, 0, 0)
        pixmap = self.root.create_pixmap(1, 1, self.x.screen().root_depth)
        pixmap.fill_rectangle(pixmap.create_gc(foreground=rgb), 0, 0, 1, 1)
        for name in ("_XROOTPMAP_ID", "ESETROOT_PMAP_ID"):
            self.root.change_property(self.atom(name), Xatom.PIXMAP, 32, [pixmap.id])
        self.x.sync()

    # A method call on the session bus (dbus-send's arguments); its reply as text.
    def bus_call(self, service, path, method, *args):
        return self.run("dbus-send", "--session", "--print-reply", f"--dest={service}", path,
                        method, *args, check=False)

    # Says on the session bus that assistive tools are wanted, as a screen reader does when it
    # starts.
    def set_accessibility(self, enabled):
        self.bus_call("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                      "string:org.a11y.Status", "string:IsEnabled",
                      f"variant:boolean:{str(enabled).lower()}")

    # Opens an ordinary application window in a process of its own, as an editor is, and waits
    # until it is mapped and active; returns its id. Its own client answers the manager: one that
    # never reads its connection lost the focus under fluxbox now and then.
    def open_ordinary_window(self, title):
        proc = self.spawn([sys.executable, "-c", _WINDOW, title], stdout=subprocess.PIPE)
        wid = int(proc.stdout.readline() or 0)
        assert wid, f"the window {title!r} did not open"
        wait_for(lambda: self.window(wid).get_attributes().map_state == X.IsViewable, 60,
                 f"{title!r} mapped")
        wait_for(lambda: self.activate(wid), 60, f"{title!r} active")
        return wid

    # Input: the compositor's own in a Wayland session, so that it routes it
    # and gives the focus by it.

    def click(self, x, y):
        # As a hand clicks: the pointer comes to rest first, and the button
        # is held for a moment. A press and release in the same instant can
        # be lost under a busy manager or compositor; without one, never.
        if self.compositor:
            self.compositor.move(x, y)
            for pressed in (True, False):
                time.sleep(0.05)
                self.compositor.button(pressed)
        else:
            rest = [] if self.wm == "none" else ["sleep", "0.05"]
            self.run("xdotool", "mousemove", str(x), str(y), *rest, "mousedown", "1", *rest,
                     "mouseup", "1")

    def type_text(self, text):
        if self.compositor:
            self.compositor.type(text)
        else:
            self.run("xdotool", "type", "--delay", "5", text)

    def key(self, *keys):
        self.run("xdotool", "key", *keys)


# A Wine prefix under `root`: the program's settings and notes stay in its
# folder, but Wine keeps its registry and processes there.
class Wine:
    def __init__(self, root):
        self.prefix = os.path.join(root, "prefix")
        self.env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "QT_"))}
        # No menu builder: a shortcut made in the prefix would become a menu
        # entry in the home of whoever runs the tests.
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", WINEARCH="win64",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        subprocess.run(["wineboot", "-i"], env=self.env, check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.end_server()

    def with_display(self, display):
        return dict(self.env, DISPLAY=display)

    def end_server(self):
        # Each session starts its own server, on that session's display.
        for flag in ("-k", "-w"):
            subprocess.run(["wineserver", flag], env=self.env, check=False)


# One running bar in its own program folder (made, and filled with a copy of
# the program, when not given). `settings` become settings.dat; `env` adds to
# (None values remove from) its environment; `user` runs it as that user;
# `command` starts an installed bar; `wine` starts `program` from the folder
# under that Wine.
class Bar:
    def __init__(self, session, folder=None, settings=None, env=None, user=None, command=None,
                 wine=None, program="marglet.exe", wait=True):
        self.session, self.wine, self.wid = session, wine, None
        self.folder = folder or tempfile.mkdtemp(prefix="marglet-bar-")
        if command is None and not wine and not os.path.exists(self.path("marglet")):
            copy_program(self.folder)
        command = command or (["wine", program] if wine else [self.path("marglet")])
        if settings is not None:
            write_bytes(self.path("settings.dat"), settings)
        environment = wine.with_display(session.display) if wine else session.env()
        if user:
            # In place, so that the process is the bar itself.
            entry = pwd.getpwnam(user)
            command = ["setpriv", f"--reuid={entry.pw_uid}", f"--regid={entry.pw_gid}",
                       "--init-groups", "--"] + command
            environment.update(HOME=entry.pw_dir, USER=user, LOGNAME=user)
        environment.update(env or {})
        self.log = tempfile.NamedTemporaryFile(prefix="marglet-log-", suffix=".txt")
        os.chmod(self.log.name, 0o666)
        self.proc = subprocess.Popen(command, cwd=self.folder, stdout=self.log,
                                     stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                     env={k: v for k, v in environment.items() if v is not None})
        if wait:
            try:
                self.wid = wait_for(self.find_window, 60, "the bar's window")
            except AssertionError:
                self.kill()  # a bar that hangs must not outlive its test
                raise

    def find_window(self):
        # Messages carry the bar's title too: the bar is the strip.
        found = [w for w in self.windows() if (self.session.geometry(w) or [0] * 4)[2] == WIDTH]
        if not found and self.proc.poll() is not None:
            raise AssertionError("the bar ended early: " + self.output())
        return found and found[0]

    def output(self):
        return read_bytes(self.log.name).decode(errors="replace")

    def pid(self):
        return self.proc.pid

    def windows(self, title=TITLE):
        return [w for w in self.session.windows(title) if self.wine or (
            self.session.prop(w, "_NET_WM_PID") or [self.pid()])[0] == self.pid()]

    def message_windows(self):
        return [w for w in self.windows() if w != self.wid]

    def geometry(self):
        return self.session.geometry(self.wid)

    def state(self):
        return self.session.state(self.wid)

    # The window's alpha (0..255), or None when the property is absent.
    def opacity(self):
        value = self.session.prop(self.wid, "_NET_WM_WINDOW_OPACITY")
        return value and round(value[0] / 0x01010101)

    def click(self, x, y):
        left, top = self.geometry()[:2]
        self.session.click(left + x, top + y)

    # Clicks the expand button and waits for the bar to be `height` tall.
    def slide(self, height, timeout=30.0):
        self.click(*MAXMIN)
        wait_for(lambda: self.geometry()[3] == height, timeout, f"the bar {height} px tall")

    # Types where a click into the pad leaves the caret; given a note, picks
    # its tab first and types at the end of its text.
    def type_into_pad(self, text, note=None):
        if note:
            self.click(*TABS[note])
        self.click(*PAD)
        self.session.run("xdotool", "windowfocus", "--sync", str(self.wid), check=False)
        if note:
            self.session.key("ctrl+End")
        if text:
            self.session.type_text(text)

    def path(self, name):
        return os.path.join(self.folder, name)

    def file(self, name):
        return read_bytes(self.path(name))

    def wait_exit(self, timeout=10):
        return self.proc.wait(timeout)

    # Ends the bar as a session's end does (SIGTERM); its exit status.
    def stop(self, timeout=10):
        self.proc.terminate()  # nothing once it has ended
        with contextlib.suppress(subprocess.TimeoutExpired):
            return self.proc.wait(timeout)
        self.kill()
        return self.proc.returncode

    def kill(self):
        self.proc.kill()
        self.proc.wait(10)


# The compositors' own input and screens.

BTN_LEFT, KEY_LEFTSHIFT = 0x110, 42
# Linux input codes of a US keyboard, for KWin, which takes codes, not text.
KEYS = {" ": 57, "-": 12}
for _row, _first in (("1234567890", 2), ("qwertyuiop", 16), ("asdfghjkl", 30), ("zxcvbnm", 44)):
    KEYS.update((char, code) for code, char in enumerate(_row, _first))


# Input and the screen through one remote-desktop session with a screen cast
# of the monitor, as a remote-desktop client has them.
class Mutter:
    def __init__(self, bus_address, width, runtime, timeout=30.0):
        import dbus
        from dbus.mainloop.glib import DBusGMainLoop
        from gi.repository import GLib
        # PipeWire's socket is in the session's runtime folder.
        self.width, self.env = width, dict(os.environ, XDG_RUNTIME_DIR=runtime)
        self.bus = dbus.bus.BusConnection(bus_address, mainloop=DBusGMainLoop())

        def call(kind, path, method, *args):
            service = self.bus.get_object("org.gnome.Mutter." + kind.split(".")[0], path)
            return getattr(dbus.Interface(service, "org.gnome.Mutter." + kind), method)(*args)

        def session():
            with contextlib.suppress(dbus.DBusException):  # not on the bus yet
                return call("RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop", "CreateSession")
        path = wait_for(session, timeout, "remote desktop")
        self.input = dbus.Interface(self.bus.get_object("org.gnome.Mutter.RemoteDesktop", path),
                                    "org.gnome.Mutter.RemoteDesktop.Session")
        cast = call("ScreenCast", "/org/gnome/Mutter/ScreenCast", "CreateSession",
                    {"remote-desktop-session-id": self.input.Get(
                        "org.gnome.Mutter.RemoteDesktop.Session", "SessionId",
                        dbus_interface=dbus.PROPERTIES_IFACE)})
        # The pointer stays out of the pictures.
        self.stream = call("ScreenCast.Session", cast, "RecordMonitor", "",
                           {"cursor-mode": dbus.UInt32(0)})
        nodes = []
        self.bus.add_signal_receiver(nodes.append, "PipeWireStreamAdded",
                                     "org.gnome.Mutter.ScreenCast.Stream", path=self.stream)
        self.input.Start()
        context = GLib.MainContext.default()
        self.node = int(wait_for(lambda: (context.iteration(False), nodes)[1], timeout,
                                 "screen cast stream")[0])
        # A new remote keyboard loses its first key.
        for pressed in (True, False):
            self.input.NotifyKeyboardKeysym(0xFFE1, pressed)

    def move(self, x, y):
        self.input.NotifyPointerMotionAbsolute(self.stream, float(x), float(y))

    def button(self, pressed):
        self.input.NotifyPointerButton(BTN_LEFT, pressed)

    def type(self, text):
        for char in text:  # printable ASCII: the keysym is the character
            for pressed in (True, False):
                self.input.NotifyKeyboardKeysym(ord(char), pressed)
            time.sleep(0.005)

    def rgb(self, x, y, w, h):
        # Each reader of the stream is sent the screen as it is now.
        done = subprocess.run(["gst-launch-1.0", "-q", "pipewiresrc", f"path={self.node}",
                               "num-buffers=1", "!", "videoconvert", "!", "video/x-raw,format=RGB",
                               "!", "fdsink"], env=self.env, timeout=60, capture_output=True)
        if done.returncode:
            raise RuntimeError(f"no frame from mutter's screen cast: {done.stderr[-1000:]}")
        data = done.stdout
        return b"".join(data[((y + r) * self.width + x) * 3:((y + r) * self.width + x + w) * 3]
                        for r in range(h))

    def close(self):
        self.bus.close()


# Input through KWin's fake-input Wayland protocol, spoken on the wire as far
# as binding one global and sending requests to it goes; the screen through
# ScreenShot2.
class KWin:
    def __init__(self, bus_address, wayland_socket):
        import dbus
        self.dbus, self.bus = dbus, dbus.bus.BusConnection(bus_address)
        self.socket = socket.socket(socket.AF_UNIX)
        self.socket.connect(wayland_socket)
        self.last_id, self.buffer, self.fake = 1, b"", None
        registry = self._send(1, 1, None)  # wl_display.get_registry
        wanted = struct.pack("<I", 24) + b"org_kde_kwin_fake_input\0"
        for target, opcode, body in self._roundtrip():  # wl_registry.global: name, interface
            if (target, opcode) == (registry, 0) and body[4:32] == wanted:
                self.fake = self._send(registry, 0, body[:4], "org_kde_kwin_fake_input", 4, None)
        if not self.fake:
            raise RuntimeError("KWin did not offer its fake input to this program")
        self._send(self.fake, 0, "marglet tests", "drives the bar as its user")

    # Sends a request; a None argument is a new object's id, returned.
    def _send(self, target, opcode, *args):
        body, new = b"", None
        for arg in args:
            if arg is None:
                self.last_id = new = self.last_id + 1
                arg = new
            if isinstance(arg, str):
                text = arg.encode() + b"\0"
                arg = struct.pack("<I", len(text)) + text + b"\0" * (-len(text) % 4)
            body += arg if isinstance(arg, bytes) else struct.pack("<I", arg & 0xFFFFFFFF)
        self.socket.sendall(struct.pack("<II", target, (8 + len(body)) << 16 | opcode) + body)
        return new

    # The events that arrive until the server has handled all sent so far.
    def _roundtrip(self):
        done, events = self._send(1, 0, None), []  # wl_display.sync
        while True:
            while len(self.buffer) >= 8 and len(self.buffer) >= (
                    size := struct.unpack("<II", self.buffer[:8])[1] >> 16):
                target, word = struct.unpack("<II", self.buffer[:8])
                if target == done:
                    return events
                events.append((target, word & 0xFFFF, self.buffer[8:size]))
                self.buffer = self.buffer[size:]
            chunk = self.socket.recv(65536)
            if not chunk:
                raise RuntimeError("the compositor closed the connection")
            self.buffer += chunk

    def _input(self, opcode, *args):
        self._send(self.fake, opcode, *args)
        self._roundtrip()

    def move(self, x, y):
        self._input(9, int(x * 256), int(y * 256))  # pointer_motion_absolute, fixed 24.8

    def button(self, pressed):
        self._input(2, BTN_LEFT, int(pressed))

    def type(self, text):
        for char in text:
            code = KEYS[{"_": "-"}.get(char, char.lower())]
            shift = char.isupper() or char == "_"
            for key, pressed in [(KEY_LEFTSHIFT, 1)] * shift + [(code, 1), (code, 0)] + [
                    (KEY_LEFTSHIFT, 0)] * shift:
                self._input(10, key, pressed)  # keyboard_key
            time.sleep(0.005)

    def rgb(self, x, y, w, h):
        read, write = os.pipe()
        try:
            meta = self.bus.get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2").CaptureArea(
                x, y, self.dbus.UInt32(w), self.dbus.UInt32(h), {}, self.dbus.types.UnixFd(write),
                dbus_interface="org.kde.KWin.ScreenShot2")
        finally:
            os.close(write)
        with os.fdopen(read, "rb") as pipe:
            return _from_bgrx(pipe.read(), w, h, int(meta["stride"]))  # QImage's ARGB32

    def close(self):
        self.socket.close()
        self.bus.close()


if __name__ == "__main__":
    session = Session(sys.argv[1] if len(sys.argv) > 1 else "none")
    print(f"DISPLAY={session.display}", *(f"{k}={v}" for k, v in session.wayland.items() if v))
    with contextlib.suppress(KeyboardInterrupt):
        signal.pause()
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    session.stop()
