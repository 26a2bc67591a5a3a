"""Desktop sessions for the real-window tests: a private Xvfb server with a
window manager (or none), RandR monitors, and reads of what the manager says;
or a Wayland compositor, headless, with XWayland for X11 programs.

`python3 desktops.py --wm openbox --hold` starts one by hand.
"""

import argparse
import contextlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import uuid

from Xlib import X, Xatom, display as xdisplay

import xharness
import xserver
from wmstate import DeleteMonitor, WindowManagerState, SetMonitor

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
# Ready once they own the compositing selection; before that pixels() may
# read a screen they have not painted yet.
COMPOSITED = {"mutter", "kwin_x11", "xfwm4-compositor", "openbox-picom"}
# Wayland sessions, each a compositor in place of Xvfb and a manager, and the
# programs it needs: mutter's screen is read through PipeWire.
COMPOSITORS = {
    "mutter-wayland": ["mutter", "Xwayland", "pipewire", "wireplumber", "gst-launch-1.0"],
    "kwin_wayland": ["kwin_wayland", "Xwayland"],
}


# An ordinary application window, in a process of its own so that it is a
# separate client that a close really ends.
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

# A native Wayland window, maximised in one colour, that writes "1" to a
# file while it has the keyboard and "0" while it has not.
_WAYLAND_WINDOW = r"""
import os, sys, gi
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk
title, colour, report = sys.argv[1:]
window = Gtk.Window(title=title)
window.set_decorated(False)
css = Gtk.CssProvider()
css.load_from_data(b"window { background: #%s; }" % colour.encode())
Gtk.StyleContext.add_provider_for_screen(Gdk.Screen.get_default(), css, 800)
def told(*_):
    with open(report + ".new", "w") as f:
        f.write(str(int(window.has_toplevel_focus())))
    os.replace(report + ".new", report)
window.connect("notify::has-toplevel-focus", told)
window.connect("delete-event", Gtk.main_quit)
window.maximize()
window.show()
Gtk.main()
"""

class Unavailable(RuntimeError):
    """The session's compositor ended as it started: it cannot run here."""


# What the bus activates double-forks away to init, which here reaps only
# every few seconds, so that ps would still list it after stop(). Under this
# subreaper it stays in the session; it leaves once all it holds have gone.
_REAPER = r"""
import ctypes, os, signal, subprocess, sys
ctypes.CDLL(None).prctl(36, 1)  # PR_SET_CHILD_SUBREAPER
signal.signal(signal.SIGTERM, lambda *_: None)
subprocess.Popen(sys.argv[1:])
try:
    while True:
        os.wait()
except ChildProcessError:
    pass
"""


def wait_for(predicate, timeout=60.0, what="condition"):
    deadline = time.time() + timeout
    while not (value := predicate()):
        if time.time() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.02)
    return value


class Desktop(WindowManagerState, xharness.Xvfb):
    """A server of width x height with `wm` managing it. `monitors` lists
    (x, y, w, h, primary) RandR monitors; `taskbar` adds tint2. With
    `manager_later` the manager starts only at start_manager().
    `accessibility` starts the accessibility bus's launcher on the session
    bus, as a desktop does at log-in (set_accessibility turns it on)."""

    def __init__(self, wm="none", width=1920, height=1080, monitors=None, taskbar=False,
                 timeout=30.0, manager_later=False, accessibility=False):
        known = list(WINDOW_MANAGERS) + list(COMPOSITORS)
        if wm not in known:
            raise ValueError(f"unknown window manager {wm!r}; known: {', '.join(known)}")
        if taskbar and (wm == "none" or wm in COMPOSITORS):
            # tint2 waits 15 s for a manager, and lists what a manager lists.
            raise ValueError("a taskbar needs an X11 window manager")
        self.server, self.compositor, self.wayland, self.displays = None, None, {}, []
        if wm in COMPOSITORS:
            self.display = None  # XWayland's, once the compositor has started it
        else:
            super().__init__(width, height)
            self.root = self.x.screen().root
        self.wm, self.size, self.procs, self.bus = wm, (width, height), [], None
        # Everything started here inherits this mark, so that stop() finds
        # even what leaves its process group.
        self._mark = "MARGLET_DESKTOP=" + uuid.uuid4().hex
        self.home = tempfile.mkdtemp(prefix="marglet-desktop-")
        os.makedirs(os.path.join(self.home, "run"), mode=0o700)
        # fluxbox's style sets a wallpaper through fbsetbg, which pops up a
        # message box where it cannot (no image viewer); the overlay forbids it.
        os.makedirs(os.path.join(self.home, ".fluxbox"))
        with open(os.path.join(self.home, ".fluxbox", "overlay"), "w") as f:
            f.write("background: none\n")
        self.log = os.path.join(self.home, "session.log")
        self._log = open(self.log, "ab")
        try:
            if monitors:
                self.set_monitors(monitors)
            if wm != "none" or accessibility:
                # mutter and kwin need a session bus, and GTK (xfwm4) without
                # one autolaunches a bus that outlives the session.
                bus = self.spawn([sys.executable, "-c", _REAPER, "dbus-daemon", "--session",
                                  "--nofork", "--nopidfile", "--print-address"],
                                 stdout=subprocess.PIPE)
                self.bus = bus.stdout.readline().decode().strip()
                if wm in COMPOSITORS:
                    self._start_compositor(timeout)
            if accessibility:
                self.spawn(["/usr/libexec/at-spi-bus-launcher"])
                self._wait(lambda: "org.a11y.Bus" in self.bus_call(
                    "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames"),
                    timeout, "accessibility bus launcher")
            if not manager_later:
                self.start_manager(timeout)
            if taskbar:
                self.spawn(["tint2"])
                self._wait(lambda: self._owned("_NET_SYSTEM_TRAY_S0"), timeout, "tint2")
        except BaseException:
            self.stop()
            raise

    def start_manager(self, timeout=30.0):
        """Starts the window manager and waits until it manages windows."""
        if self.wm == "none":
            return
        for command in WINDOW_MANAGERS.get(self.wm, []):
            self.spawn(command)
        self._wait(self._managed, timeout, "window manager managing windows")
        # The work area: KWin lists it but sets it only for struts.
        if self.wm not in ("kwin_x11", "kwin_wayland"):
            # Qt reads it at start for availableGeometry; icewm and openbox
            # set it a moment after they manage windows.
            self._wait(lambda: self.prop(self.root, "_NET_WORKAREA"), timeout, "work area")
        if self.wm in COMPOSITED:
            self._wait(lambda: self._owned("_NET_WM_CM_S0"), timeout, "compositor")

    def env(self):
        # Clients share the session's bus, as on a desktop, rather than each
        # autolaunching one that outlives the session.
        env = super().env()
        if getattr(self, "bus", None):
            env["DBUS_SESSION_BUS_ADDRESS"] = self.bus
        if self.wm in COMPOSITORS:
            env.pop("XAUTHORITY", None)
            env.update(self.wayland)
        return {k: v for k, v in env.items() if v is not None}

    def session_env(self):
        """The environment of what the session starts: a HOME and runtime
        folder of its own, so that nothing under /root is read or written."""
        env = {k: v for k, v in self.env().items()
               if not k.startswith("XDG_") and k != "SESSION_MANAGER"}
        key, value = self._mark.split("=")
        # NO_AT_BRIDGE: GTK (xfwm4) would start an accessibility bus of its own.
        env.update({key: value, "HOME": self.home, "NO_AT_BRIDGE": "1",
                    "XDG_RUNTIME_DIR": os.path.join(self.home, "run")})
        return env

    def spawn(self, command, env=None, **kwargs):
        """Starts a process that stop() ends, in a process group of its own;
        `env` adds to the session's environment."""
        kwargs.setdefault("stdout", self._log)
        proc = subprocess.Popen(command, env=dict(self.session_env(), **(env or {})), cwd=self.home,
                                stderr=self._log, start_new_session=True, **kwargs)
        self.procs.append(proc)
        return proc

    def bus_call(self, service, path, method, *args):
        """A method call on the session bus (dbus-send's arguments); its reply as text."""
        return subprocess.run(["dbus-send", "--session", "--print-reply", f"--dest={service}", path,
                               method, *args], env=self.env(), capture_output=True, text=True,
                              timeout=30).stdout

    def set_accessibility(self, enabled):
        """Says on the session bus that assistive tools are wanted, or not, as
        a screen reader does when it starts."""
        self.bus_call("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                      "string:org.a11y.Status", "string:IsEnabled",
                      f"variant:boolean:{str(enabled).lower()}")

    def processes(self):
        """Ids of the live processes this session started, however they left."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if self._mark.encode() in f.read().split(b"\0"):
                        found.append(int(pid))
            except OSError:
                pass  # gone meanwhile
        return found

    def stop(self):
        # What the manager or the bus started goes first, while its parent
        # lives to reap it (a zombie has no environment, so no longer counts).
        ours = {p.pid for p in self.procs}
        self._end(os.kill, lambda: [pid for pid in self.processes() if pid not in ours])
        # A leader not yet reaped keeps its group id from being reused.
        self._end(os.killpg, lambda: [p.pid for p in self.procs if p.poll() is None])
        for proc in self.procs:
            if proc.stdout:
                proc.stdout.close()
        if self.compositor:
            self.compositor.close()
        if self.wm not in COMPOSITORS:
            super().stop()
        else:
            if getattr(self, "x", None):
                try:
                    self.x.close()
                except Exception:
                    pass  # XWayland has gone
            # mutter does not end on SIGTERM while it casts the screen; once
            # killed, it leaves its displays' locks and sockets behind.
            for display in self.displays:
                lock = f"/tmp/.X{display.lstrip(':')}-lock"
                try:
                    with open(lock) as f:
                        owner = int(f.read())
                except (OSError, ValueError):
                    continue
                if not os.path.exists(f"/proc/{owner}"):
                    for path in (lock, f"/tmp/.X11-unix/X{display.lstrip(':')}"):
                        with contextlib.suppress(FileNotFoundError):
                            os.remove(path)
        self._log.close()
        shutil.rmtree(self.home, ignore_errors=True)

    @staticmethod
    def _end(kill, live):
        for sig in (signal.SIGTERM, signal.SIGKILL):
            for pid in live():
                try:
                    kill(pid, sig)
                except ProcessLookupError:
                    pass
            deadline = time.time() + 3
            while live() and time.time() < deadline:
                time.sleep(0.02)

    def _start_compositor(self, timeout):
        """Starts the compositor, which starts XWayland and then a command
        that reports the session's environment; connects to XWayland and to
        the compositor's input and screen."""
        import compositors  # D-Bus and GLib, needed only here
        run, report = os.path.join(self.home, "run"), os.path.join(self.home, "session.env")
        width, height = self.size
        command = f"env > {report}; exec sleep infinity"
        if self.wm == "mutter-wayland":
            for program in ("pipewire", "wireplumber"):
                self.spawn([program])
            self._wait(lambda: os.path.exists(os.path.join(run, "pipewire-0")), timeout, "PipeWire")
            self.server = self.spawn(["mutter", "--wayland", "--headless", "--virtual-monitor",
                                      f"{width}x{height}", "--wayland-display", "wayland-marglet",
                                      "--", "sh", "-c", command])
        else:
            # The installed kwin_wayland carries a file capability that a
            # container may refuse at exec; a plain copy runs, named so
            # that KWin still knows itself.
            kwin = os.path.join(self.home, "kwin_wayland")
            shutil.copy(shutil.which("kwin_wayland"), kwin)
            # Fake input goes only to a program whose desktop entry asks for
            # it: this one, which drives the tests.
            share = os.path.join(self.home, "share")
            compositors.fake_input_entry(share, os.path.realpath(sys.executable))
            self.server = self.spawn([kwin, "--virtual", "--xwayland", "--width", str(width),
                                      "--height", str(height), "--socket", "wayland-marglet",
                                      "--no-lockscreen", f"sh -c '{command}'"],
                                     env={"KWIN_SCREENSHOT_NO_PERMISSION_CHECKS": "1",
                                          "XDG_DATA_DIRS": share + ":/usr/share"})
        try:
            self._wait(lambda: os.path.exists(report) and os.path.getsize(report), timeout,
                       "XWayland")
        except RuntimeError as e:
            if self.server.poll() is not None:
                raise Unavailable(str(e)) from None
            raise
        with open(report) as f:
            told = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
        self.display = told["DISPLAY"]
        # mutter holds a second display for the services it starts.
        self.displays = [told[k] for k in ("DISPLAY", "GNOME_SETUP_DISPLAY") if k in told]
        self.wayland = {"WAYLAND_DISPLAY": os.path.join(run, told["WAYLAND_DISPLAY"]),
                        "XAUTHORITY": told.get("XAUTHORITY") or None, "XDG_RUNTIME_DIR": run,
                        "XDG_SESSION_TYPE": "wayland"}
        self.x = self.connect()
        self.root = self.x.screen().root
        if self.wm == "mutter-wayland":
            self.compositor = compositors.Mutter(self.bus, width, run, timeout)
        else:
            self.compositor = compositors.KWin(self.bus, self.wayland["WAYLAND_DISPLAY"])

    def connect(self):
        """A connection of its own to the session's X server."""
        # python3-xlib reads XWayland's cookie's file from the environment.
        saved = os.environ.pop("XAUTHORITY", None)
        try:
            if self.wayland.get("XAUTHORITY"):
                os.environ["XAUTHORITY"] = self.wayland["XAUTHORITY"]
            return xdisplay.Display(self.display)
        finally:
            os.environ.pop("XAUTHORITY", None)
            if saved is not None:
                os.environ["XAUTHORITY"] = saved

    def pointer(self, x, y):
        if self.compositor:
            self.compositor.move(x, y)
        else:
            self.run("xdotool", "mousemove", str(x), str(y))

    def click(self, x, y):
        """Clicks at a point of the screen as a hand does: the pointer comes
        to rest first, and the button is held for a moment. A press and
        release in the same instant can be lost under a busy compositor."""
        if not self.compositor:
            self.run("xdotool", "mousemove", str(x), str(y), "sleep", "0.05",
                     "mousedown", "1", "sleep", "0.06", "mouseup", "1")
            return
        self.compositor.move(x, y)
        time.sleep(0.05)
        self.compositor.button(True)
        time.sleep(0.06)
        self.compositor.button(False)

    def type_text(self, text):
        if self.compositor:
            self.compositor.type(text)
        else:
            self.run("xdotool", "type", "--delay", "5", text)

    def pixels(self, x, y, w, h):
        if self.compositor:
            return self.compositor.pixels(x, y, w, h)
        return super().pixels(x, y, w, h)

    def open_wayland_window(self, title, colour, timeout=60.0):
        """Opens a native Wayland window, maximised in one colour (0xRRGGBB),
        and waits until it is drawn and has the keyboard; returns a function
        that tells whether it has the keyboard."""
        report = os.path.join(self.home, title + ".focus")
        self.spawn([sys.executable, "-c", _WAYLAND_WINDOW, title, f"{colour:06x}", report],
                   env={"GDK_BACKEND": "wayland"})

        def focused():
            try:
                with open(report) as f:
                    return f.read() == "1"
            except FileNotFoundError:
                return False
        rgb = ((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF)
        wait_for(lambda: self.pixels(self.size[0] // 2, self.size[1] // 2, 1, 1)[0][0] == rgb,
                 timeout, f"{title!r} drawn")
        wait_for(focused, timeout, f"{title!r} to have the keyboard")
        return focused

    def set_root_colour(self, rgb):
        # Compositors (picom, xfwm4's) paint the wallpaper pixmap named on the
        # root rather than its background. mutter paints its own in any case.
        super().set_root_colour(rgb)
        pixmap = self.root.create_pixmap(1, 1, self.x.screen().root_depth)
        pixmap.fill_rectangle(pixmap.create_gc(foreground=rgb), 0, 0, 1, 1)
        for name in ("_XROOTPMAP_ID", "ESETROOT_PMAP_ID"):
            self.root.change_property(self._atom(name), Xatom.PIXMAP, 32, [pixmap.id])
        self.x.sync()

    def screenshot(self, path, x=0, y=0, w=None, h=None):
        xserver.write_png(path, self.pixels(x, y, w or self.size[0], h or self.size[1]))

    def set_monitors(self, monitors):
        # Monitors last as long as the connection that made them: this one
        # stays open until stop(). The server's one output must belong to a
        # monitor, or it is listed as a third covering the screen; it goes to
        # the primary, since a manager that marks the output primary (mutter)
        # makes Qt take that output's monitor as the primary one.
        output = self.root.xrandr_get_screen_resources().outputs[:1]
        opcode = self.x.query_extension("RANDR").major_opcode
        owner = next((i for i, m in enumerate(monitors) if m[4]), 0)
        # An output belongs to one monitor at a time: the old ones go first.
        for i in range(getattr(self, "_monitors", 0)):
            DeleteMonitor(display=self.x.display, opcode=opcode, window=self.root,
                          name=self._atom(f"VIRTUAL-{i + 1}"))
        self._monitors = len(monitors)
        for i, (x, y, w, h, primary) in enumerate(monitors):
            SetMonitor(display=self.x.display, opcode=opcode, window=self.root,
                        name=self._atom(f"VIRTUAL-{i + 1}"), primary=bool(primary),
                        automatic=False, x=x, y=y, width=w, height=h,
                        mm_width=w * 254 // 960, mm_height=h * 254 // 960,  # 96 dpi
                        outputs=output if i == owner else [])
        self.x.sync()

    def _wait(self, predicate, timeout, what):
        deadline = time.time() + timeout
        while not predicate():
            dead = [p for p in self.procs if p.poll() is not None]
            if dead or time.time() > deadline:
                # The name after `python3 -c SCRIPT` is what the script runs.
                name = dead and dead[0].args[3 if dead[0].args[0] == sys.executable else 0]
                why = f"{name} ended with {dead[0].returncode}" if dead else f"not within {timeout} s"
                with open(self.log, errors="replace") as f:
                    output = f.read()[-4000:]
                raise RuntimeError(f"{self.wm}: no {what}: {why}; the session's output:\n{output}")
            time.sleep(0.02)

    def open_ordinary_window(self, title, timeout=60.0):
        """Opens an ordinary window and waits until it is mapped, on top and
        focused (and, under a manager, active); returns its id."""
        proc = self.spawn([sys.executable, "-c", _WINDOW, title], stdout=subprocess.PIPE)
        wid = int(proc.stdout.readline() or 0)
        if not wid:
            raise RuntimeError(f"the window {title!r} did not open")
        wait_for(lambda: self._window(wid).get_attributes().map_state == X.IsViewable,
                 timeout, f"{title!r} mapped")
        if self.wm == "none":
            # Nobody else would: do what a manager does for a new window.
            self._window(wid).configure(stack_mode=X.Above)
            self._window(wid).set_input_focus(X.RevertToParent, X.CurrentTime)
            self.x.sync()
            return wid

        def active():
            if self.active_window() != wid:
                # Asked as a pager asks (source 2), which managers grant
                # without the focus-stealing checks an application meets.
                self.client_message(self.root, "_NET_ACTIVE_WINDOW",
                                    [2, X.CurrentTime], window=wid)
            return self.active_window() == wid and self.focus_within(wid)
        wait_for(active, timeout, f"{title!r} active")
        return wid



def main():
    parser = argparse.ArgumentParser(description="Starts a desktop session: a private Xvfb "
                                     "with a window manager, or a Wayland compositor.")
    parser.add_argument("--wm", default="none", choices=list(WINDOW_MANAGERS) + list(COMPOSITORS))
    parser.add_argument("--size", default="1920x1080", help="WIDTHxHEIGHT")
    parser.add_argument("--monitor", action="append", default=[], metavar="X,Y,W,H[,primary]")
    parser.add_argument("--taskbar", action="store_true", help="add tint2")
    parser.add_argument("--hold", action="store_true", help="keep it until Ctrl-C")
    parser.add_argument("--seconds", type=float, help="keep it this long")
    args = parser.parse_args()
    monitors = [tuple(map(int, m.split(",")[:4])) + (m.endswith(",primary"),) for m in args.monitor]
    start = time.time()
    desktop = Desktop(args.wm, *map(int, args.size.split("x")), monitors, args.taskbar)
    told = " ".join(f"{k}={v}" for k, v in desktop.wayland.items() if v)
    print(f"DISPLAY={desktop.display} {told}  # {args.wm} ready in {time.time() - start:.2f} s",
          flush=True)
    try:
        if args.seconds:
            time.sleep(args.seconds)
        elif args.hold:
            signal.pause()
    except KeyboardInterrupt:
        pass
    finally:
        desktop.stop()


if __name__ == "__main__":
    main()
