"""The real bar with its dialogs: Options moves and reskins the bar, About opens once."""

import os
import time

import xharness
from xharness import XTestCase

MAXMIN = (152 + 7, 1 + 7)
CLOSE = (169 + 7, 1 + 7)
OPTIONS = (16 + 37, 306 + 9)
ABOUT = (95 + 37, 306 + 9)


class Dialogs(XTestCase):
    def windows(self, title):
        return self.server.run("xdotool", "search", "--onlyvisible", "--name", f"^{title}$",
                               check=False).split()

    def window_geometry(self, wid):
        import re
        info = self.server.run("xwininfo", "-id", wid)
        return tuple(int(re.search(f"{name}:\\s+(-?\\d+)", info).group(1))
                     for name in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def click_in(self, wid, x, y):
        left, top, _, _ = self.window_geometry(wid)
        self.server.run("xdotool", "mousemove", str(left + x), str(top + y), "click", "1")

    def expanded(self):
        bar = self.start()
        bar.click(*MAXMIN)
        bar.wait_for(lambda: bar.geometry()[3] == 343, timeout=2.0, what="the expanded height")
        return bar

    def test_options_apply_moves_and_reskins_the_bar(self):
        bar = self.expanded()
        before = self.server.pixels(1920 - 256, 5, 185, 343)
        bar.click(*OPTIONS)
        dialog = bar.wait_for(lambda: self.windows("QKS Marglet Options"), what="the Options dialog")[0]
        _, _, width, height = self.window_geometry(dialog)
        self.assertEqual((width, height), (489, 401))
        # Classic style, then the next skin in the list, then Apply.
        self.click_in(dialog, 8 + 8 + 8, 112 + 96 + 8)
        self.click_in(dialog, 8 + 312 + 60, 8 + 72 + 10)
        self.server.run("xdotool", "key", "Down")
        self.click_in(dialog, 400 + 40, 368 + 12)
        bar.wait_for(lambda: bar.geometry()[:2] == (1920 - 239, 0), what="the classic position")
        self.assertEqual(bar.geometry()[2:], (185, 343))
        time.sleep(0.3)
        after = self.server.pixels(1920 - 239, 0, 185, 343)
        self.assertNotEqual(before[8][130], after[8][130], "the title strip shows another skin")
        self.server.screenshot(os.path.join(xharness.ARGS.out, "reskinned.png"),
                               1920 - 760, 0, 760, 420)
        with open(bar.file("settings.dat"), "rb") as f:
            stored = f.read()
        self.assertEqual(stored[0:2], b"\x06\x0e")
        self.assertNotEqual(stored[258:258 + stored[256]], b"Blue")

    def test_about_opens_once_and_everything_closes_with_the_bar(self):
        bar = self.expanded()
        bar.click(*ABOUT)
        bar.wait_for(lambda: self.windows("About QKS Marglet"), what="the About dialog")
        bar.click(*ABOUT)
        time.sleep(0.3)
        self.assertEqual(len(self.windows("About QKS Marglet")), 1)
        bar.click(*OPTIONS)
        bar.wait_for(lambda: self.windows("QKS Marglet Options"), what="the Options dialog")
        # Neither dialog gets a taskbar button; only the bar stays on top.
        for title in ("About QKS Marglet", "QKS Marglet Options"):
            wid = self.windows(title)[0]
            state = self.server.run("xprop", "-id", wid, "_NET_WM_STATE", check=False)
            self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", state, title)
            self.assertNotIn("_NET_WM_STATE_ABOVE", state, title)
        self.assertIn("_NET_WM_STATE_ABOVE", bar.prop("_NET_WM_STATE"))
        bar.click(*CLOSE)
        self.assertEqual(bar.wait_exit(), 0)


if __name__ == "__main__":
    xharness.main()
