#!/usr/bin/python3
"""Idle cost of the bar against a bare Qt window, under Xvfb.

For each state (collapsed or expanded, fading on or off) the bar rests for
a while, then its wake-ups (context switches of all its threads) and CPU
time are counted over the measuring window. The bare window is measured in
the same run. Run it with `make bench`.
"""

import argparse
import glob
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "x11"))
import xharness  # noqa: E402
from xharness import Bar, Xvfb, settings_bytes  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")


def counters(pid):
    switches = 0
    for status in glob.glob(f"/proc/{pid}/task/*/status"):
        try:
            with open(status) as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
        except FileNotFoundError:
            pass
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    cpu_ms = (int(fields[11]) + int(fields[12])) * 1000 / TICKS
    return switches, cpu_ms


def measure(pid, seconds):
    s0, c0 = counters(pid)
    t0 = time.monotonic()
    time.sleep(seconds)
    s1, c1 = counters(pid)
    elapsed = time.monotonic() - t0
    return (s1 - s0) / elapsed, (c1 - c0) / elapsed


def bare(server, binary, settle, seconds):
    proc = subprocess.Popen([os.path.abspath(binary)], env=server.env())
    try:
        deadline = time.time() + 10
        while time.time() < deadline and not server.run(
                "xdotool", "search", "--onlyvisible", "--name", "^Bare Window$", check=False).strip():
            time.sleep(0.05)
        time.sleep(settle)
        return measure(proc.pid, seconds)
    finally:
        proc.kill()
        proc.wait()


def bar_state(server, expanded, fading, settle, seconds):
    bar = Bar(server, settings=settings_bytes(3840, 70, "Blue", 1 if fading else 0))
    try:
        if expanded:
            bar.click(152 + 7, 1 + 7)
            bar.wait_for(lambda: bar.geometry()[3] == 343, what="expanded")
        time.sleep(settle)
        return measure(bar.proc.pid, seconds)
    finally:
        bar.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--skins", required=True)
    parser.add_argument("--bare", required=True)
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--settle", type=float, default=1.0)
    args = parser.parse_args()
    xharness.ARGS = args

    server = Xvfb()
    try:
        rows = [("bare Qt window", bare(server, args.bare, args.settle, args.seconds))]
        for expanded in (False, True):
            for fading in (False, True):
                name = f"bar {'expanded' if expanded else 'collapsed'}, fading {'on' if fading else 'off'}"
                rows.append((name, bar_state(server, expanded, fading, args.settle, args.seconds)))
    finally:
        server.stop()

    base_wakeups, base_cpu = rows[0][1]
    print(f"Idle cost over {args.seconds:.0f} s at rest")
    print(f"{'state':34} {'wake-ups/s':>11} {'CPU ms/s':>9} {'wake-ups vs bare':>17}")
    for name, (wakeups, cpu) in rows:
        ratio = "-" if base_wakeups == 0 else f"{wakeups / base_wakeups:.2f}x"
        print(f"{name:34} {wakeups:11.2f} {cpu:9.2f} {ratio:>17}")


if __name__ == "__main__":
    main()
