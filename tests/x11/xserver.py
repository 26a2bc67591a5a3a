"""A private Xvfb server, read as the X server composes the screen."""

import os
import struct
import subprocess
import zlib

from Xlib import X, display as xdisplay

SCREEN = (1920, 1080)


class Xvfb:
    def __init__(self, width=SCREEN[0], height=SCREEN[1]):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
             f"{width}x{height}x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()
        self.x = xdisplay.Display(self.display)

    def stop(self):
        # A test may have killed the server on purpose.
        try:
            self.x.close()
        except Exception:
            pass
        if self.proc.poll() is None:
            self.proc.terminate()
        self.proc.wait(10)

    def env(self):
        env = {k: v for k, v in os.environ.items()
               if k not in ("QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI",
                            "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        env["DISPLAY"] = self.display
        return env

    def run(self, *cmd, check=True):
        return subprocess.run(cmd, env=self.env(), check=check, capture_output=True,
                              text=True, timeout=30).stdout

    def set_root_colour(self, rgb):
        root = self.x.screen().root
        root.change_attributes(background_pixel=rgb)
        root.clear_area(0, 0, 0, 0)
        self.x.sync()

    def pixels(self, x, y, w, h):
        """RGB rows of a screen area, as the X server composes it."""
        image = self.x.screen().root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF)
        data = image.data
        rows = []
        for row in range(h):
            line = []
            for col in range(w):
                b, g, r = data[(row * w + col) * 4:(row * w + col) * 4 + 3]
                line.append((r, g, b))
            rows.append(line)
        return rows

    def screenshot(self, path, x=0, y=0, w=None, h=None):
        w = w or SCREEN[0]
        h = h or SCREEN[1]
        write_png(path, self.pixels(x, y, w, h))


def write_png(path, rows):
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in rows)
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        f.write(chunk(b"IEND", b""))
