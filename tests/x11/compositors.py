"""What a Wayland compositor gives the tests where XWayland cannot: real
pointer and key input, which the compositor routes and focuses by, and the
screen as the compositor composes it (XWayland's root has no pixels).

mutter: its RemoteDesktop D-Bus interface for input and a ScreenCast stream
of the monitor, read through PipeWire. KWin: its fake-input Wayland protocol
for input (granted to a program whose desktop entry asks for it) and
ScreenShot2 over D-Bus.
"""

import os
import socket
import struct
import subprocess
import tempfile
import time

import dbus
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

BTN_LEFT = 0x110
# Linux input codes of a US keyboard, for KWin, which takes codes, not text:
# letters and digits, a space, "-" and, shifted, capitals and "_".
KEY_LEFTSHIFT = 42
KEYS = {" ": 57, "-": 12}
for _row, _first in (("1234567890", 2), ("qwertyuiop", 16), ("asdfghjkl", 30), ("zxcvbnm", 44)):
    KEYS.update((char, code) for code, char in enumerate(_row, _first))


def _wait(predicate, timeout, what):
    deadline = time.time() + timeout
    while not (value := predicate()):
        if time.time() > deadline:
            raise RuntimeError("no " + what)
        time.sleep(0.02)
    return value


class Mutter:
    """Input and the screen through one remote-desktop session with a screen
    cast of the monitor, as a remote-desktop client has them."""

    def __init__(self, bus_address, width, runtime, timeout=30.0):
        # PipeWire's socket is in the session's runtime folder.
        self.width, self.env = width, dict(os.environ, XDG_RUNTIME_DIR=runtime)
        self.bus = dbus.bus.BusConnection(bus_address, mainloop=DBusGMainLoop())
        remote = self._call("RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop")
        path = _wait(lambda: self._try(remote.CreateSession), timeout, "remote desktop")
        self.input = self._call("RemoteDesktop.Session", path)
        session_id = self.bus.get_object("org.gnome.Mutter.RemoteDesktop", path).Get(
            "org.gnome.Mutter.RemoteDesktop.Session", "SessionId",
            dbus_interface=dbus.PROPERTIES_IFACE)
        cast = self._call("ScreenCast", "/org/gnome/Mutter/ScreenCast").CreateSession(
            {"remote-desktop-session-id": session_id})
        # The pointer stays out of the pictures.
        self.stream = self._call("ScreenCast.Session", cast).RecordMonitor(
            "", {"cursor-mode": dbus.UInt32(0)})
        nodes = []
        self.bus.add_signal_receiver(nodes.append, "PipeWireStreamAdded",
                                     "org.gnome.Mutter.ScreenCast.Stream", path=self.stream)
        self.input.Start()
        context = GLib.MainContext.default()
        _wait(lambda: (context.iteration(False), nodes)[1], timeout, "screen cast stream")
        self.node = int(nodes[0])
        # A new remote keyboard loses its first key.
        self.input.NotifyKeyboardKeysym(0xFFE1, True)
        self.input.NotifyKeyboardKeysym(0xFFE1, False)

    def _call(self, kind, path):
        service = "org.gnome.Mutter." + kind.split(".")[0]
        return dbus.Interface(self.bus.get_object(service, path), "org.gnome.Mutter." + kind)

    @staticmethod
    def _try(call):
        try:
            return call()
        except dbus.DBusException:
            return None  # not on the bus yet

    def move(self, x, y):
        self.input.NotifyPointerMotionAbsolute(self.stream, float(x), float(y))

    def button(self, pressed):
        self.input.NotifyPointerButton(BTN_LEFT, pressed)

    def type(self, text):
        for char in text:  # printable ASCII: the keysym is the character
            for pressed in (True, False):
                self.input.NotifyKeyboardKeysym(ord(char), pressed)
            time.sleep(0.005)

    def pixels(self, x, y, w, h):
        # Each reader of the stream is sent the screen as it is now.
        with tempfile.NamedTemporaryFile(suffix=".rgb") as frame:
            done = subprocess.run(["gst-launch-1.0", "-q", "pipewiresrc", f"path={self.node}",
                                   "num-buffers=1", "!", "videoconvert", "!",
                                   "video/x-raw,format=RGB", "!", "filesink",
                                   f"location={frame.name}"], env=self.env, timeout=60,
                                  capture_output=True, text=True)
            if done.returncode:
                raise RuntimeError("no frame from mutter's screen cast: " + done.stderr[-1000:])
            data = frame.read()
        at = lambda r, c: ((y + r) * self.width + x + c) * 3  # noqa: E731
        return [[tuple(data[at(r, c):at(r, c) + 3]) for c in range(w)] for r in range(h)]

    def close(self):
        self.bus.close()


class _Wayland:
    """The Wayland wire protocol, as far as binding one global and sending
    requests to it goes."""

    def __init__(self, path):
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.socket.connect(path)
        self.last_id, self.buffer = 1, b""

    def new_id(self):
        self.last_id += 1
        return self.last_id

    def send(self, target, opcode, *args):
        body = b""
        for arg in args:
            if isinstance(arg, str):
                text = arg.encode() + b"\0"
                body += struct.pack("<I", len(text)) + text + b"\0" * (-len(text) % 4)
            else:
                body += struct.pack("<I", arg & 0xFFFFFFFF)
        self.socket.sendall(struct.pack("<II", target, (8 + len(body)) << 16 | opcode) + body)

    def roundtrip(self):
        """The events that arrive until the server has handled all sent so far."""
        done = self.new_id()
        self.send(1, 0, done)  # wl_display.sync
        events = []
        while True:
            while len(self.buffer) >= 8:
                target, word = struct.unpack("<II", self.buffer[:8])
                if len(self.buffer) < word >> 16:
                    break
                event, self.buffer = self.buffer[:word >> 16], self.buffer[word >> 16:]
                if target == done:
                    return events
                events.append((target, word & 0xFFFF, event[8:]))
            chunk = self.socket.recv(65536)
            if not chunk:
                raise RuntimeError("the compositor closed the connection")
            self.buffer += chunk

    def bind(self, interface, version):
        registry = self.new_id()
        self.send(1, 1, registry)  # wl_display.get_registry
        for target, opcode, body in self.roundtrip():
            if target != registry or opcode != 0:  # wl_registry.global only
                continue
            length = struct.unpack("<I", body[4:8])[0]
            if body[8:7 + length].decode() == interface:
                bound = self.new_id()
                self.send(registry, 0, struct.unpack("<I", body[:4])[0], interface, version, bound)
                return bound
        return None


class KWin:
    """Input through the fake-input protocol; the screen through ScreenShot2."""

    def __init__(self, bus_address, wayland_socket):
        self.bus = dbus.bus.BusConnection(bus_address)
        self.wayland = _Wayland(wayland_socket)
        # Offered only to a program whose desktop entry asks for it.
        self.fake = self.wayland.bind("org_kde_kwin_fake_input", 4)
        if not self.fake:
            raise RuntimeError("KWin did not offer its fake input to this program")
        self.wayland.send(self.fake, 0, "marglet tests", "drives the bar as its user")

    def _send(self, opcode, *args):
        self.wayland.send(self.fake, opcode, *args)
        self.wayland.roundtrip()

    def move(self, x, y):
        self._send(9, int(x * 256), int(y * 256))  # pointer_motion_absolute, fixed 24.8

    def button(self, pressed):
        self._send(2, BTN_LEFT, int(pressed))

    def type(self, text):
        for char in text:
            code = KEYS[{"_": "-"}.get(char, char.lower())]
            keys = [(code, 1), (code, 0)]
            if char.isupper() or char == "_":
                keys = [(KEY_LEFTSHIFT, 1)] + keys + [(KEY_LEFTSHIFT, 0)]
            for key, pressed in keys:
                self._send(10, key, pressed)  # keyboard_key
            time.sleep(0.005)

    def pixels(self, x, y, w, h):
        read, write = os.pipe()
        try:
            meta = self.bus.get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2").CaptureArea(
                x, y, dbus.UInt32(w), dbus.UInt32(h), {}, dbus.types.UnixFd(write),
                dbus_interface="org.kde.KWin.ScreenShot2")
        finally:
            os.close(write)
        with os.fdopen(read, "rb") as pipe:
            data = pipe.read()
        # 32-bit pixels, blue first in memory (QImage's ARGB32 formats).
        stride = int(meta["stride"])
        return [[tuple(data[r * stride + c * 4:r * stride + c * 4 + 3][::-1]) for c in range(w)]
                for r in range(h)]

    def close(self):
        self.wayland.socket.close()
        self.bus.close()


def fake_input_entry(folder, program):
    """A desktop entry under folder/applications that asks KWin for fake
    input on behalf of `program` (an executable's real path). KWin takes the
    first entry it finds for the program, and Python ships one of its own:
    this one takes its name, and so its place, in the folder listed first."""
    os.makedirs(os.path.join(folder, "applications"), exist_ok=True)
    name = os.path.basename(program) + ".desktop"
    with open(os.path.join(folder, "applications", name), "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=Marglet test input\nNoDisplay=true\n"
                f"Exec={program}\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n")
