#!/usr/bin/python3
"""Start-up time and memory of the bar against a bare Qt window, under Xvfb.

Each run starts the program and follows it from outside:
- mapped: from exec to the X server mapping its window (MapNotify);
- painted: from exec to the window first showing what it shows at rest,
  found by reading the window's pixels until they match the final picture;
- memory: resident and proportional set size 2 s after exec, and the peak
  resident size until then.
The bar runs with no notes and with three 1 MB notes. Every figure is the
median of several runs, after one warm-up run each.
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

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "real"))
import harness  # noqa: E402
from harness import Session  # noqa: E402

MEMORY_AT = 2.0  # seconds after exec


def memory(pid):
    figures = {}
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            name, _, rest = line.partition(":")
            if name in ("Rss", "Pss"):
                figures[name] = int(rest.split()[0]) / 1024
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                figures["Peak"] = int(line.split()[1]) / 1024
    return figures


def wait_for_map(x, title, began, proc):
    while time.monotonic() < began + 20:
        while x.pending_events():
            event = x.next_event()
            if event.type == X.MapNotify:
                try:
                    name = event.window.get_wm_name()
                except Exception:
                    name = None
                if name == title:
                    return event.window, time.monotonic()
        if proc.poll() is not None:
            raise RuntimeError(f"{title} ended before its window mapped")
        time.sleep(0.0005)
    raise RuntimeError(f"{title} never mapped")


def one_run(server, command, title, cwd):
    x = server.x
    root = x.screen().root
    root.change_attributes(event_mask=X.SubstructureNotifyMask)
    x.sync()
    began = time.monotonic()
    proc = subprocess.Popen(command, env=server.env(), cwd=cwd,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        window, mapped = wait_for_map(x, title, began, proc)
        geometry = window.get_geometry()
        frames = []
        while time.monotonic() < mapped + 0.5:
            image = window.get_image(0, 0, geometry.width, geometry.height, X.ZPixmap, 0xFFFFFFFF)
            frames.append((time.monotonic(), image.data))
        time.sleep(max(0.0, began + MEMORY_AT - time.monotonic()))
        figures = memory(proc.pid)
        final = window.get_image(0, 0, geometry.width, geometry.height, X.ZPixmap, 0xFFFFFFFF).data
        painted = next((t for t, data in frames if data == final), None)
        if painted is None:
            raise RuntimeError(f"{title} did not reach its resting picture within 0.5 s of mapping")
        figures["mapped"] = (mapped - began) * 1000
        figures["painted"] = (painted - began) * 1000
        return figures
    finally:
        proc.kill()
        proc.wait()
        root.change_attributes(event_mask=0)
        x.sync()
        while x.pending_events():
            x.next_event()


def program_folder(binary, skins, note_bytes):
    folder = tempfile.mkdtemp(prefix="marglet-bench-")
    harness.BINARY, harness.SKINS = binary, skins
    harness.copy_program(folder)
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
    parser.add_argument("--runs", type=int, default=11)
    args = parser.parse_args()

    server = Session()
    folders = []
    try:
        cases = [("bare Qt window", [os.path.abspath(args.bare)], "Bare Window", None)]
        for label, size in (("bar, no notes", 0), ("bar, three 1 MB notes", 1_000_000)):
            folder = program_folder(args.binary, args.skins, size)
            folders.append(folder)
            cases.append((label, [os.path.join(folder, "marglet")], "QKS Marglet", folder))
        for label, command, title, cwd in cases:
            one_run(server, command, title, cwd)  # warm-up
        # Round by round, so that a busy moment of the machine falls on all
        # cases alike rather than on one.
        runs = {label: [] for label, *_ in cases}
        for _ in range(args.runs):
            for label, command, title, cwd in cases:
                runs[label].append(one_run(server, command, title, cwd))
        results = [(label, {k: statistics.median(r[k] for r in figures) for k in figures[0]})
                   for label, figures in runs.items()]
    finally:
        server.stop()
        for folder in folders:
            shutil.rmtree(folder, ignore_errors=True)

    base = results[0][1]
    print(f"Start-up and memory, median of {args.runs} runs (ratio to the bare window)")
    print(f"{'case':24} {'mapped ms':>16} {'painted ms':>16} {'RSS MB':>15} {'PSS MB':>15} "
          f"{'peak MB':>15}")
    for label, figures in results:
        cells = [f"{figures[k]:7.1f} ({figures[k] / base[k]:4.2f}x)"
                 for k in ("mapped", "painted", "Rss", "Pss", "Peak")]
        print(f"{label:24} {cells[0]:>16} {cells[1]:>16} {cells[2]:>15} {cells[3]:>15} "
              f"{cells[4]:>15}")


if __name__ == "__main__":
    main()
