"""Notes on the real bar: typed text reaches its file when a signal or the
window manager ends the bar, and a note of any size keeps the bar answering."""

import os
import signal
import tempfile

import xharness
from xharness import XTestCase

MAXMIN = (152 + 7, 1 + 7)
CLOSE = (169 + 7, 1 + 7)
PAD = (60, 100)


class Notes(XTestCase):
    def expanded(self, **kwargs):
        bar = self.start(**kwargs)
        bar.click(*MAXMIN)
        bar.wait_for(lambda: bar.geometry()[3] == 343, timeout=30.0, what="the expanded height")
        return bar

    def type(self, bar, text):
        bar.click(*PAD)
        self.server.run("xdotool", "windowfocus", "--sync", str(bar.wid), check=False)
        for i, line in enumerate(text.split("\n")):
            if i:
                self.server.run("xdotool", "key", "Return")
            if line:
                self.server.run("xdotool", "type", "--delay", "5", line)

    def read(self, bar, note):
        path = bar.file(f"note0{note}.qkn")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def test_terminate_saves_every_edit_at_once(self):
        bar = self.expanded()
        self.type(bar, "quick")
        bar.proc.send_signal(signal.SIGTERM)
        self.assertEqual(bar.wait_exit(), 0)
        self.assertEqual(self.read(bar, 1), b"quick")

    def test_a_window_manager_close_saves_and_ends(self):
        from Xlib import X, protocol
        bar = self.expanded()
        self.type(bar, "closing")
        x = self.server.x
        window = x.create_resource_object("window", bar.wid)
        message = protocol.event.ClientMessage(
            window=window, client_type=x.intern_atom("WM_PROTOCOLS"),
            data=(32, [x.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
        window.send_event(message)
        x.flush()
        self.assertEqual(bar.wait_exit(), 0)
        self.assertEqual(self.read(bar, 1), b"closing")

    def test_a_note_of_one_10_mb_line_opens_takes_a_key_and_is_saved(self):
        # Letters and digits only: nowhere for a word wrap to break.
        line = b"0123456789abcdef" * 625_000
        folder = tempfile.mkdtemp(prefix="marglet-x11-")
        with open(os.path.join(folder, "note01.qkn"), "wb") as f:
            f.write(line)
        bar = self.start(folder=folder)
        bar.click(*MAXMIN)

        def drawn():
            left, top, _, height = bar.geometry()
            rows = self.server.pixels(left + 8, top + 150, 150, 90) if height == 343 else []
            return any(sum(pixel) < 250 for row in rows for pixel in row)
        bar.wait_for(drawn, timeout=10.0, what="the long line drawn in the pad")
        self.type(bar, "z")
        bar.click(*CLOSE)
        self.assertEqual(bar.wait_exit(timeout=10), 0)
        saved = self.read(bar, 1)
        self.assertEqual((len(saved), saved.replace(b"z", b"")), (len(line) + 1, line))


if __name__ == "__main__":
    xharness.main()
