# The real bar slides, fades, comes to rest and has its outline.

import os
import time

import pytest

from harness import MAXMIN, OPEN, PAD, SHUT, outline_faults, settings_bytes, wait_for

# A slide takes about a quarter of a second; a loaded machine may stretch
# it many times over, and how long it takes is the motion logic's to test.
SLIDE = 30.0
# Context switches of all the process's threads over `seconds`.
def wakeups(pid, seconds):
    def count():
        total = 0
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/status") as f:
                total += sum(int(line.split()[1]) for line in f if "ctxt_switches" in line)
        return total
    before = count()
    time.sleep(seconds)
    return count() - before


@pytest.mark.parametrize("fading, shut, open_", [(1, (100,), (240,)),
                                                (0, (None, 255), (None, 255))],
                         ids=["fading", "opaque"])
def test_the_alpha_follows_the_height_only_when_fading_is_on(make_bar, fading, shut, open_):
    bar = make_bar(settings=settings_bytes(3840, 70, "Blue", fading))
    wait_for(lambda: bar.opacity() in shut, 5, f"alpha {shut} at rest, shut")
    for height, alpha in ((OPEN, open_), (SHUT, shut)):
        bar.click(*MAXMIN)
        wait_for(lambda: bar.geometry()[3] == height and bar.opacity() in alpha, SLIDE,
                 f"alpha {alpha} at rest, {height} px tall; it is {bar.opacity()}")
    time.sleep(0.2)
    assert bar.opacity() in shut


def test_a_resting_bar_does_not_wake(make_bar):
    # The work a slide leaves may take a while on a loaded machine: the bar
    # must come to rest, however late. A timer left running (the slide's
    # 10 ms, a caret's blink) wakes it at least three times in every window.
    bar = make_bar(settings=settings_bytes(3840, 70, "Blue", 1))
    bar.slide(OPEN, SLIDE)
    wait_for(lambda: wakeups(bar.proc.pid, 1.5) <= 2, SLIDE, "the open, untouched bar to rest")
    # A caret blinking in the note pad stops once the bar is shut.
    bar.click(*PAD)
    bar.slide(SHUT, SLIDE)
    wait_for(lambda: wakeups(bar.proc.pid, 1.5) <= 2, SLIDE,
             "the bar shut after a click into the pad to rest")


def test_the_outline_cuts_corners_and_neck(session, make_bar):
    session.set_root_colour(0xFF00FF)
    bar = make_bar()
    bar.slide(OPEN, SLIDE)
    left, top = bar.geometry()[:2]
    faults = lambda: outline_faults(session, left, top, (255, 0, 255))  # noqa: E731
    # The last repaint may come late on a loaded machine.
    try:
        wait_for(lambda: not faults(), SLIDE, lambda: f"the open outline; wrong at {faults()}")
    finally:
        session.screenshot("expanded.png", left - 10, 0, 205, 360)
