#!/usr/bin/python3
"""Idle cost of the bar against a bare Qt window, under Xvfb.

For each state (collapsed or expanded, fading on or off) the bar rests for
a while, then its wake-ups (context switches of all its threads) and CPU
time are counted over the measuring window. The bare window is measured in
the same run. Each figure is the median of several runs.
"""

import argparse
import glob
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "real"))
import harness  # noqa: E402
from harness import Bar, Session, settings_bytes, wait_for  # noqa: E402

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


def start_bare(server, binary):
    proc = subprocess.Popen([os.path.abspath(binary)], env=server.env(),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.time() + 10
    while time.time() < deadline and not server.run(
            "xdotool", "search", "--onlyvisible", "--name", "^Bare Window$", check=False).strip():
        time.sleep(0.05)
    return proc


def start_bar(server, expanded, fading):
    # Notes on disk, so that the bar watches each file as well as the folder.
    folder = tempfile.mkdtemp(prefix="marglet-idle-")
    for note in (1, 2, 3):
        with open(os.path.join(folder, f"note0{note}.qkn"), "wb") as f:
            f.write(b"a note\r\n" * 100)
    bar = Bar(server, folder=folder,
              settings=settings_bytes(3840, 70, "Blue", 1 if fading else 0))
    if expanded:
        bar.click(152 + 7, 1 + 7)
        wait_for(lambda: bar.geometry()[3] == 343, what="expanded")
    return bar


def one_run(args):
    """All states at once, each on its own server, measured over the same
    seconds: what is counted is each process's own."""
    servers = []
    subjects = []
    try:
        server = Session()
        servers.append(server)
        proc = start_bare(server, args.bare)
        subjects.append(("bare Qt window", proc.pid, proc.kill))
        for expanded in (False, True):
            for fading in (False, True):
                server = Session()
                servers.append(server)
                bar = start_bar(server, expanded, fading)
                name = (f"bar {'expanded' if expanded else 'collapsed'}, "
                        f"fading {'on' if fading else 'off'}")
                subjects.append((name, bar.proc.pid, bar.stop))
        time.sleep(args.settle)
        before = [counters(pid) for _, pid, _ in subjects]
        began = time.monotonic()
        time.sleep(args.seconds)
        after = [counters(pid) for _, pid, _ in subjects]
        elapsed = time.monotonic() - began
        return {name: ((a[0] - b[0]) / elapsed, (a[1] - b[1]) / elapsed)
                for (name, _, _), b, a in zip(subjects, before, after)}
    finally:
        for _, _, stop in subjects:
            stop()
        for server in servers:
            server.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--skins", required=True)
    parser.add_argument("--bare", required=True)
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--settle", type=float, default=1.0)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    harness.BINARY, harness.SKINS = args.binary, args.skins

    runs = [one_run(args) for _ in range(args.runs)]
    names = list(runs[0])
    base_wakeups = statistics.median(r[names[0]][0] for r in runs)
    print(f"Idle cost over {args.seconds:.0f} s at rest, median of {args.runs} runs")
    print(f"{'state':34} {'wake-ups/s':>11} {'CPU ms/s':>9} {'wake-ups vs bare':>17}")
    for name in names:
        wakeups = statistics.median(r[name][0] for r in runs)
        cpu = statistics.median(r[name][1] for r in runs)
        if base_wakeups:
            ratio = f"{wakeups / base_wakeups:.2f}x"
        else:
            ratio = "same" if wakeups == 0 else "more"
        print(f"{name:34} {wakeups:11.2f} {cpu:9.2f} {ratio:>17}")


if __name__ == "__main__":
    main()
