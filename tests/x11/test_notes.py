"""Notes on the real bar: typed text reaches its file, whatever ends the bar."""

import os
import signal
import time

import xharness
from xharness import XTestCase

MAXMIN = (152 + 7, 1 + 7)
CLOSE = (169 + 7, 1 + 7)
PAD = (60, 100)
TABS = {1: (7 + 30, 26 + 12), 2: (59 + 30, 26 + 12), 3: (111 + 30, 26 + 12)}
AUTOSAVE = 2.0


class Notes(XTestCase):
    def expanded(self, **kwargs):
        bar = self.start(**kwargs)
        bar.click(*MAXMIN)
        bar.wait_for(lambda: bar.geometry()[3] == 343, timeout=2.0, what="the expanded height")
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

    def test_typed_text_survives_a_kill_after_the_autosave(self):
        bar = self.expanded()
        self.type(bar, "first line\nsecond line")
        time.sleep(AUTOSAVE + 1.0)
        bar.proc.send_signal(signal.SIGKILL)
        bar.wait_exit()
        self.assertEqual(self.read(bar, 1), b"first line\r\nsecond line")
        self.assertIsNone(self.read(bar, 2), "an untouched note is not written")

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

    def test_tabs_keep_each_note_and_close_writes_them(self):
        bar = self.expanded()
        self.type(bar, "one")
        bar.click(*TABS[2])
        self.server.run("xdotool", "type", "--delay", "5", "two")  # the tab leaves the pad ready
        bar.click(*TABS[1])
        self.type(bar, "!")
        self.server.screenshot(os.path.join(xharness.ARGS.out, "notes.png"),
                               1920 - 266, 0, 205, 360)
        bar.click(*CLOSE)
        self.assertEqual(bar.wait_exit(), 0)
        self.assertEqual(self.read(bar, 1), b"one!")
        self.assertEqual(self.read(bar, 2), b"two")
        self.assertEqual(self.read(bar, 3), b"", "a first close creates the note files")

        again = self.start(folder=bar.folder)
        again.click(*MAXMIN)
        again.wait_for(lambda: again.geometry()[3] == 343, timeout=2.0, what="expanded")
        again.click(*TABS[2])
        self.type(again, "+")
        again.proc.send_signal(signal.SIGTERM)
        self.assertEqual(again.wait_exit(), 0)
        self.assertEqual(self.read(again, 2), b"two+", "note 2 was loaded back and edited")
        self.assertEqual(self.read(again, 1), b"one!")


if __name__ == "__main__":
    xharness.main()
