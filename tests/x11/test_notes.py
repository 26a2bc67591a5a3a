"""Notes on the real bar: typed text reaches its file when a signal or the
window manager ends the bar."""

import os
import signal

import xharness
from xharness import XTestCase

MAXMIN = (152 + 7, 1 + 7)
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


if __name__ == "__main__":
    xharness.main()
