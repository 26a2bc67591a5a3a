#!/usr/bin/python3
"""Start-up time of the bar against a bare Qt window, under Xvfb.

Time from starting the process to its window being mapped, as the X server
reports it (MapNotify on the root window), with no notes and with three
1 MB notes. Each figure is the median of several runs.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "x11"))
from xharness import Xvfb  # noqa: E402


def time_to_map(server, command, title, cwd=None):
    x = server.x
    root = x.screen().root
    root.change_attributes(event_mask=X.SubstructureNotifyMask)
    x.sync()
    began = time.monotonic()
    proc = subprocess.Popen(command, env=server.env(), cwd=cwd,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = began + 20
        while time.monotonic() < deadline:
            while x.pending_events():
                event = x.next_event()
                if event.type == X.MapNotify:
                    try:
                        name = event.window.get_wm_name()
                    except Exception:
                        name = None
                    if name == title:
                        return (time.monotonic() - began) * 1000
            time.sleep(0.001)
        raise RuntimeError(f"{title} never mapped")
    finally:
        proc.kill()
        proc.wait()
        root.change_attributes(event_mask=0)
        x.sync()
        while x.pending_events():
            x.next_event()


def program_folder(binary, skins, note_bytes):
    folder = tempfile.mkdtemp(prefix="marglet-bench-")
    shutil.copy2(binary, folder)
    shutil.copytree(skins, os.path.join(folder, "skins"))
    if note_bytes:
        line = b"The quick brown fox jumps over the lazy dog 0123456789\r\n"
        body = (line * (note_bytes // len(line) + 1))[:note_bytes]
        for n in (1, 2, 3):
            with open(os.path.join(folder, f"note0{n}.qkn"), "wb") as f:
                f.write(body)
    return folder


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--skins", required=True)
    parser.add_argument("--bare", required=True)
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()

    server = Xvfb()
    folders = []
    try:
        cases = [("bare Qt window", [os.path.abspath(args.bare)], "Bare Window", None)]
        for label, size in (("bar, no notes", 0), ("bar, three 1 MB notes", 1_000_000)):
            folder = program_folder(args.binary, args.skins, size)
            folders.append(folder)
            cases.append((label, [os.path.join(folder, "marglet")], "QKS Marglet", folder))
        results = []
        for label, command, title, cwd in cases:
            time_to_map(server, command, title, cwd)  # warm-up
            runs = [time_to_map(server, command, title, cwd) for _ in range(args.runs)]
            results.append((label, statistics.median(runs), min(runs), max(runs)))
    finally:
        server.stop()
        for folder in folders:
            shutil.rmtree(folder, ignore_errors=True)

    base = results[0][1]
    print(f"Start-up, exec to window mapped, median of {args.runs}")
    print(f"{'case':26} {'median ms':>10} {'min':>8} {'max':>8} {'vs bare':>8}")
    for label, median, low, high in results:
        print(f"{label:26} {median:10.1f} {low:8.1f} {high:8.1f} {median / base:7.2f}x")


if __name__ == "__main__":
    main()
