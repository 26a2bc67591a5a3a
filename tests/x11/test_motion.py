"""The real bar slides, fades and has its outline."""

import os
import time

import xharness
from xharness import XTestCase, settings_bytes

MAXMIN = (152 + 7, 1 + 7)
MAGENTA = 0xFF00FF
# A slide takes about a quarter of a second; a loaded machine may stretch
# it many times over, and how long it takes is the motion logic's to test.
SLIDE = 30.0


def wakeups(pid, seconds):
    """Context switches of all the process's threads over `seconds`."""
    def count():
        total = 0
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/status") as f:
                for line in f:
                    if "ctxt_switches" in line:
                        total += int(line.split()[1])
        return total
    before = count()
    time.sleep(seconds)
    return count() - before


class Motion(XTestCase):
    def height(self, bar):
        return bar.geometry()[3]

    def test_a_click_slides_open_and_a_second_click_shut(self):
        bar = self.start()
        bar.click(*MAXMIN)
        bar.wait_for(lambda: self.height(bar) == 343, timeout=SLIDE, what="the expanded height")
        time.sleep(0.1)
        self.assertEqual(bar.geometry(), (1920 - 256, 5, 185, 343))
        bar.click(*MAXMIN)
        bar.wait_for(lambda: self.height(bar) == 17, timeout=SLIDE, what="the collapsed height")
        time.sleep(0.1)
        self.assertEqual(bar.geometry(), (1920 - 256, 5, 185, 17))

    def test_the_alpha_follows_the_height_when_fading_is_on(self):
        bar = self.start(settings=settings_bytes(3840, 70, "Blue", 1))
        bar.wait_for(lambda: bar.opacity() == 100, what="alpha 100 at rest, collapsed")
        bar.click(*MAXMIN)
        bar.wait_for(lambda: self.height(bar) == 343 and bar.opacity() == 240, timeout=SLIDE,
                     what="alpha 240 at rest, expanded")
        bar.click(*MAXMIN)
        bar.wait_for(lambda: self.height(bar) == 17 and bar.opacity() == 100, timeout=SLIDE,
                     what="alpha 100 again, collapsed")
        time.sleep(0.2)
        self.assertEqual(bar.opacity(), 100)

    def test_without_fading_the_bar_stays_opaque(self):
        bar = self.start(settings=settings_bytes(3840, 70, "Blue", 0))
        bar.click(*MAXMIN)
        bar.wait_for(lambda: self.height(bar) == 343, timeout=SLIDE, what="the expanded height")
        self.assertIn(bar.opacity(), (None, 255))

    def test_a_resting_bar_does_not_wake(self):
        # The work a slide leaves (repaints, the fade's last step) may take a
        # while on a loaded machine: the bar must come to rest, however late.
        # A timer left running (the slide's 10 ms, a caret's blink) wakes it
        # at least three times in every window measured, and never passes.
        bar = self.start(settings=settings_bytes(3840, 70, "Blue", 1))
        bar.click(*MAXMIN)
        bar.wait_for(lambda: self.height(bar) == 343, timeout=SLIDE, what="the expanded height")
        bar.wait_for(lambda: wakeups(bar.proc.pid, 1.5) <= 2, timeout=SLIDE,
                     what="the expanded, untouched bar to rest")
        # A caret blinking in the note pad stops once the bar is shut.
        bar.click(60, 100)
        bar.click(*MAXMIN)
        bar.wait_for(lambda: self.height(bar) == 17, timeout=SLIDE, what="the collapsed height")
        bar.wait_for(lambda: wakeups(bar.proc.pid, 1.5) <= 2, timeout=SLIDE,
                     what="the bar collapsed after a click into the pad to rest")

    def test_the_outline_cuts_corners_and_neck(self):
        self.server.set_root_colour(MAGENTA)
        bar = self.start()
        bar.click(*MAXMIN)
        bar.wait_for(lambda: self.height(bar) == 343, timeout=SLIDE, what="the expanded height")
        left, top, _, _ = bar.geometry()
        outline = [(0, 2, 182), (1, 1, 183), (8, 0, 184), (15, 1, 183), (16, 2, 182),
                   (17, 6, 178), (18, 4, 180), (19, 3, 181), (20, 2, 182), (21, 1, 183),
                   (22, 1, 183), (23, 0, 184), (200, 0, 184), (336, 0, 184), (337, 1, 183),
                   (339, 2, 182), (340, 3, 181), (341, 4, 180), (342, 6, 178)]

        def wrong():
            """Sample points where the screen shows the bar cut where it
            should not be, or drawn where it should be cut."""
            rows = self.server.pixels(left, top, 185, 343)
            return [(row, col) for row, first, last in outline for col in range(185)
                    if (rows[row][col] == (255, 0, 255)) == (first <= col <= last)]

        # The last repaint may come late on a loaded machine: the outline
        # must show in the end, however late.
        try:
            bar.wait_for(lambda: not wrong(), timeout=SLIDE, what="the expanded outline")
        finally:
            self.server.screenshot(os.path.join(xharness.ARGS.out, "expanded.png"),
                                   left - 10, 0, 205, 360)
        self.assertEqual(wrong(), [], "(row, column) on the wrong side of the outline")

if __name__ == "__main__":
    xharness.main()
