"""The real bar in a Wayland session (mutter or KWin, headless, with
XWayland), beside a native Wayland window maximised under it as the bar is
meant to be used. Through XWayland, as the session comes and when the
session asks Qt for Wayland: its place, above the window once that is raised
and activated, the keyboard left in the window at start and while sliding,
the slide drawn, typing saved and the compositor's close. Without X11 at all
it starts as a Wayland window and says what it cannot do.

Input is the compositor's own (a remote desktop, fake input), so that the
compositor routes it and gives the focus by it; the screen is read from the
compositor. Run with --wm mutter-wayland or --wm kwin_wayland."""

import argparse
import os
import shutil
import signal
import sys
import time
import unittest

import desktops
import test_desktops
import xharness
from desktops import Desktop, wait_for
from test_desktops import PAD, WALLPAPER, DesktopCase

ELSEWHERE = (400, 600)  # a point of the maximised window, away from the bar
TOLD_X11 = "uses X11 (XWayland) instead"
TOLD_WAYLAND = "runs as a Wayland window"


class WaylandSession(DesktopCase):
    def setUp(self):
        try:
            self.desktop = Desktop(test_desktops.WM)
        except desktops.Unavailable as e:
            raise unittest.SkipTest(f"the compositor cannot run here: {e}")
        self.bar = None

    def shot(self, name):
        self.desktop.screenshot(os.path.join(xharness.ARGS.out, f"{test_desktops.WM}-{name}.png"))

    def keyboard_stays(self, has_keyboard, seconds):
        deadline = time.time() + seconds
        while time.time() < deadline:
            self.assertTrue(has_keyboard(), "the window lost the keyboard")
            time.sleep(0.05)

    def test_the_bar_through_xwayland(self):
        d = self.desktop
        editor = d.open_wayland_window("Editor", WALLPAPER)
        x, y = 1920 - 256, 5
        for row, env in (("as the session comes", {}),
                         ("the session asks for Wayland", {"QT_QPA_PLATFORM": "wayland"})):
            with self.subTest(row):
                bar = self.start_bar(env=env)
                self.expect_place(x, y, 17, "at start")
                self.keyboard_stays(editor, 1.0)
                self.assertNotIn("QKS Marglet", d.taskbar_entries())
                self.assertEqual(bar.output().count(TOLD_X11), 1 if env else 0, bar.output())
                # The window is raised and activated by a click: the bar stays
                # in front, and the window keeps the keyboard.
                d.click(*ELSEWHERE)
                wait_for(editor, 30, "the window to take the keyboard back")
                self.assertTrue(self.strip_drawn(), "the window covers the bar")
                if not env:
                    self.shot("collapsed")

                self.slide(x, y)
                self.keyboard_stays(editor, 0.3)
                through, white, grey = self.body_drawn(x, y)
                self.assertEqual(through, 0, "the window shows through the expanded body")
                self.assertGreater(white, 0.95, "the note pad is not drawn")
                self.assertGreater(grey, 0.3, "the buttons are not drawn")

                text = f"typed under {test_desktops.WM}"
                note = bar.file("note01.qkn")
                self.point_click_and_type(PAD, text, note)
                self.assertFalse(editor(), "the window kept the keyboard the bar took")
                d.click(*ELSEWHERE)
                wait_for(editor, 30, "the window to take the keyboard back")
                through, white, _ = self.body_drawn(x, y)
                self.assertEqual((through, white > 0.95), (0, True), "the window covers the bar")
                if not env:
                    self.shot("expanded")

                d.close_window(bar.wid)
                self.assertEqual(bar.wait_exit(10), 0, bar.output()[-3000:])
                self.assertIn(text.encode(), xharness.read_bytes(note))

    def test_starting_it_again_brings_the_bar_forward(self):
        d = self.desktop
        editor = d.open_wayland_window("Editor", WALLPAPER)
        self.bring_twice(editor, lambda: d.click(*ELSEWHERE))

    def test_without_x11_the_bar_starts_and_says_what_it_cannot_do(self):
        self.bar = xharness.Bar(self.desktop, env={"DISPLAY": None, "QT_QPA_PLATFORM": "wayland"},
                                wait=False)
        wait_for(lambda: TOLD_WAYLAND in self.bar.output(), 60, "the bar to say it runs on Wayland")
        time.sleep(2)  # told once, and still running
        self.assertIsNone(self.bar.proc.poll(), self.bar.output())
        self.assertEqual(self.bar.output().count(TOLD_WAYLAND), 1, self.bar.output())
        self.shot("native")
        self.bar.proc.send_signal(signal.SIGTERM)
        self.assertEqual(self.bar.wait_exit(10), 0, self.bar.output()[-3000:])


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--wm", required=True, choices=list(desktops.COMPOSITORS))
    args, rest = parser.parse_known_args()
    test_desktops.WM = args.wm
    missing = [p for p in desktops.COMPOSITORS[args.wm] if not shutil.which(p)]
    if missing:
        print(f"SKIP: {', '.join(missing)} not installed", flush=True)
        sys.exit(77)
    sys.argv = [sys.argv[0]] + rest
    argv = xharness.parse_args()
    result = unittest.main(argv=argv, verbosity=2, exit=False).result
    if result.skipped and len(result.skipped) == result.testsRun:
        sys.exit(77)  # no compositor would start here: nothing was tried
    sys.exit(not result.wasSuccessful())


if __name__ == "__main__":
    main()
