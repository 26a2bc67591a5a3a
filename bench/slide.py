#!/usr/bin/python3
"""One expand and collapse cycle of the bar, timed from outside under Xvfb.

The click goes in through XTEST; every height the window takes on is read
from the X server's ConfigureNotify events. A slide's ticks are the heights
it passes through (two heights set within one tick count once), its wall time runs from the click to the resting height.
The baseline is the slide's own design: its ticks at exactly 10 ms each.
"""

import argparse
import os
import statistics
import sys
import time

from Xlib import X
from Xlib.ext import xtest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "real"))
import harness  # noqa: E402
from harness import Bar, Session  # noqa: E402

TICK_MS = 10
EXPAND_BUTTON = (152 + 7, 1 + 7)


def slide(server, bar, window, start, resting):
    """Clicks the expand button and follows the window from `start` to
    `resting` pixels tall."""
    x = server.x
    left, top = bar.geometry()[:2]
    xtest.fake_input(x, X.MotionNotify, x=left + EXPAND_BUTTON[0], y=top + EXPAND_BUTTON[1])
    x.sync()
    time.sleep(0.05)
    while x.pending_events():
        x.next_event()
    xtest.fake_input(x, X.ButtonPress, 1)
    xtest.fake_input(x, X.ButtonRelease, 1)
    x.sync()
    clicked = time.monotonic()
    height = start
    ticks = []  # when each tick's first new height arrived
    while time.monotonic() < clicked + 5:
        while x.pending_events():
            event = x.next_event()
            if event.type == X.ConfigureNotify and event.window == window:
                now = time.monotonic()
                # A tick may set two heights: its step, then the resting one.
                if event.height != height and (not ticks or now - ticks[-1] > 0.003):
                    ticks.append(now)
                height = event.height
                if height == resting:
                    return len(ticks), (now - clicked) * 1000
        time.sleep(0.0002)
    raise RuntimeError(f"the bar never reached {resting} px, only {height}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--skins", required=True)
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    harness.BINARY, harness.SKINS = args.binary, args.skins

    server = Session()
    samples = {"expand": [], "collapse": []}
    try:
        bar = Bar(server)
        try:
            window = server.x.create_resource_object("window", bar.wid)
            window.change_attributes(event_mask=X.StructureNotifyMask)
            server.x.sync()
            time.sleep(0.5)  # the note pad is built once the bar is on screen
            for _ in range(args.runs + 1):  # the first cycle is a warm-up
                samples["expand"].append(slide(server, bar, window, 17, 343))
                time.sleep(0.3)
                samples["collapse"].append(slide(server, bar, window, 343, 17))
                time.sleep(0.3)
        finally:
            bar.stop()
    finally:
        server.stop()

    print(f"One expand and collapse cycle, median of {args.runs} cycles "
          f"(baseline: the slide's ticks at exactly {TICK_MS} ms)")
    print(f"{'slide':10} {'ticks':>6} {'wall ms':>9} {'ticks x 10 ms':>14} {'ratio':>7}")
    for name, runs in samples.items():
        runs = runs[1:]
        ticks = statistics.median(t for t, _ in runs)
        wall = statistics.median(w for _, w in runs)
        ideal = ticks * TICK_MS
        print(f"{name:10} {ticks:6.0f} {wall:9.1f} {ideal:14.0f} {wall / ideal:6.2f}x")


if __name__ == "__main__":
    main()
