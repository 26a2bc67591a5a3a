"""Kills the real bar with SIGKILL again and again, at moments picked at
random, and after every kill checks each note file: it holds what it held
before, or that plus what this run typed into it; never a mix, never less,
never gone. A kill well after the autosave must find the typed text saved,
and the next start must not be refused by the lock the killed bar left.

One Xvfb server and one program folder serve every run, so that leftovers
(temporary files, a stale lock) meet the runs that follow. The notes are
rewritten now and then, some of them megabytes long, so that a save takes
long enough for a kill to land inside it.

    crashloop.py --binary build/bin/marglet --skins build/bin/skins --runs 200 [--seed N]
"""

import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from collections import Counter

import xharness
from crashparts import LoopBar, decode, lone_line_ends, open_in, pick_note

MAXMIN = (159, 8)
PAD = (60, 100)
TABS = {1: (7 + 30, 26 + 12), 2: (59 + 30, 26 + 12), 3: (111 + 30, 26 + 12)}
EXPANDED_HEIGHT = 343
AUTOSAVE = 2.0
MARGIN = 1.5
NOTES = (1, 2, 3)
KNOWN = {"marglet", "skins", "settings.dat", ".marglet.lock"} | {f"note0{n}.qkn" for n in NOTES}

# The moment of the kill, and how often it is picked. "write" waits for the
# bar to open a file in its folder after the pause, so it lands inside a
# save (write, sync, rename or folder sync) however quick the disk is.
CATEGORIES = {
    "startup": 12,   # 0..400 ms after exec: settings, notes being read, the window coming up
    "typing": 12,    # while the marker is being typed
    "after": 14,     # 0..1.8 s after the last keystroke: edits held in memory only
    "autosave": 26,  # 2 s +-100 ms after the last keystroke
    "write": 18,     # as soon as a file in the folder is open after the pause
    "late": 18,      # 3.5..5 s after the last keystroke: the save must be on disk
}

class Loop:
    def __init__(self, args, seed):
        self.args = args
        self.rng = random.Random(seed)
        self.server = xharness.Xvfb()
        self.folder = tempfile.mkdtemp(prefix="marglet-crashloop-", dir=args.dir)
        xharness.ARGS = args
        xharness.copy_program(self.folder)
        self.program_files = set(os.listdir(self.folder))
        self.kills = Counter()
        self.landed_in_io = Counter()
        self.outcomes = Counter()   # (category, "old"/"new") per typed note
        self.bad = []               # (run, note, what)
        self.failed_starts = []     # (run, what)
        self.strays = {}            # name -> run it was first seen after
        self.map_times = []
        self.profile = None

    def path(self, note):
        return os.path.join(self.folder, f"note0{note}.qkn")

    def read_notes(self):
        notes = {}
        for note in NOTES:
            try:
                with open(self.path(note), "rb") as f:
                    notes[note] = f.read()
            except FileNotFoundError:
                notes[note] = None
        return notes

    def reseed_notes(self, run):
        phase = run // self.args.phase
        if phase % 4 == 0:
            self.order = self.rng.sample(["fresh", "small", "mixed", "large"], 4)
        self.profile = self.order[phase % 4]
        sizes = []
        for note in NOTES:
            data = pick_note(self.rng, self.profile)
            if data is None:
                if os.path.exists(self.path(note)):
                    os.remove(self.path(note))
                sizes.append("-")
            else:
                with open(self.path(note), "wb") as f:
                    f.write(data)
                sizes.append(str(len(data)))
        print(f"-- notes now {self.profile}: bytes {' / '.join(sizes)}", flush=True)

    # One run: start, maybe type, kill, check.
    def run(self, run):
        rng = self.rng
        if run % self.args.phase == 0:
            self.reseed_notes(run)
        category = rng.choices(list(CATEGORIES), weights=list(CATEGORIES.values()))[0]
        first = rng.choice(NOTES)
        plan = [(first, first != 1 or rng.random() < 0.5)]
        if rng.random() < 0.35:
            plan.append((rng.choice([n for n in NOTES if n != first]), True))
        markers = {note: f"r{run}{'ab'[i]};" if len(plan) > 1 else f"r{run};"
                   for i, (note, _) in enumerate(plan)}
        before = self.read_notes()
        self.kills[category] += 1

        bar = LoopBar(self.server, self.folder)
        started = time.monotonic()
        last_key = None
        typing = None
        touched = []  # notes typing has begun in
        io = []
        try:
            if category == "startup":
                time.sleep(rng.uniform(0, 0.4))
            else:
                bar.mapped()
                self.map_times.append(time.monotonic() - started)
                if self.map_times[-1] > self.args.map_timeout:
                    self.failed_starts.append((run, f"mapped only after {self.map_times[-1]:.1f} s"))
                bar.click(*MAXMIN)
                bar.wait_for(lambda: bar.geometry()[3] == EXPANDED_HEIGHT, timeout=5.0,
                             what="the expanded height")
                for i, (note, tab) in enumerate(plan):
                    if tab:
                        bar.click(*TABS[note])
                    bar.click(*PAD)
                    self.server.run("xdotool", "windowfocus", "--sync", str(bar.wid), check=False)
                    # The click puts the caret wherever it lands in the text.
                    self.server.run("xdotool", "key", "ctrl+End")
                    touched.append(note)
                    if category == "typing" and i == len(plan) - 1:
                        typing = subprocess.Popen(
                            ["xdotool", "type", "--delay", "30", markers[note]],
                            env=self.server.env(), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
                        time.sleep(rng.uniform(0, 0.03 * len(markers[note])))
                    else:
                        self.server.run("xdotool", "type", "--delay", "5", markers[note])
                last_key = time.monotonic()
                if category == "after":
                    self.sleep_until(last_key + rng.uniform(0, 1.8))
                elif category == "autosave":
                    self.sleep_until(last_key + AUTOSAVE + rng.uniform(-0.1, 0.1))
                elif category == "late":
                    self.sleep_until(last_key + AUTOSAVE + MARGIN + rng.uniform(0, 1.5))
                elif category == "write":
                    io = self.wait_for_io(bar, last_key, rng.choice([0, 0, rng.uniform(0, 0.004)]))
        except AssertionError as e:
            self.failed_starts.append((run, str(e)))
        killed = time.monotonic()
        if bar.proc.poll() is not None:
            # Nothing but the kill may end it; an exit of its own is a
            # refused start or a crash.
            self.failed_starts.append((run, f"ended by itself with {bar.proc.returncode} "
                                            f"before the kill: {bar.output()!r}"))
        else:
            io = io or open_in(bar.proc.pid, self.folder)
            bar.proc.send_signal(signal.SIGKILL)
            killed = time.monotonic()
            bar.proc.wait(10)
            bar.output()
        if typing:
            typing.wait(10)
        if io:
            self.landed_in_io[category] += 1

        after_key = 0.0 if last_key is None else killed - last_key
        typed = {note: markers[note] for note in touched}
        states = self.check(run, category, before, typed, after_key)
        strays = self.check_strays(run)
        when = "" if last_key is None else f" +{after_key:.3f}s"
        notes = " ".join(f"{n}:{m}" for n, m in typed.items()) or "-"
        print(f"run {run:3d} {category:8s}{when:9s} typed {notes:16s} -> "
              f"{' '.join(f'{n}:{s}' for n, s in states.items())}"
              f"{'  open: ' + ','.join(io) if io else ''}"
              f"{'  new leftovers: ' + ','.join(strays) if strays else ''}", flush=True)

    def sleep_until(self, moment):
        time.sleep(max(0.0, moment - time.monotonic()))

    def wait_for_io(self, bar, last_key, extra):
        self.sleep_until(last_key + AUTOSAVE - 0.15)
        deadline = last_key + AUTOSAVE + 1.0
        while time.monotonic() < deadline and bar.proc.poll() is None:
            io = open_in(bar.proc.pid, self.folder)
            if io:
                end = time.monotonic() + extra
                while time.monotonic() < end:
                    pass
                return open_in(bar.proc.pid, self.folder) or io
        return []

    def check(self, run, category, before, typed, after_key):
        now = self.read_notes()
        states = {}
        for note in NOTES:
            old, new = before[note], now[note]
            marker = typed.get(note)
            bad = None
            if new is None:
                state = "gone" if old is not None else "none"
                if old is not None:
                    bad = "deleted"
            elif new == old:
                state = "old"
            elif not new:
                state = "empty"
                bad = "created empty" if old is None else f"emptied (was {len(old)} bytes)"
            else:
                old_text = "" if old is None else decode(old)
                text = decode(new)
                if text == old_text:
                    state = "old"  # written again with the same text: nothing lost
                elif marker and text == old_text + marker:
                    state = "new"
                else:
                    state = "mixed"
                    bad = self.describe_mismatch(old_text, text, marker)
                if not bad and lone_line_ends(new):
                    bad = f"{lone_line_ends(new)} line ends that are not CR LF"
            if marker and not bad and state != "new" and after_key > AUTOSAVE + MARGIN:
                bad = f"the typed text is not on disk {after_key:.1f} s after typing"
            if marker:
                self.outcomes[(category, "new" if state == "new" else "old")] += 1
            if bad:
                state = state.upper()
                self.bad.append((run, note, bad))
                print(f"!! run {run} note {note}: {bad}", flush=True)
            states[note] = state
        return states

    @staticmethod
    def describe_mismatch(old_text, text, marker):
        common = 0
        limit = min(len(old_text), len(text))
        while common < limit and old_text[common] == text[common]:
            common += 1
        return (f"neither the old text ({len(old_text)} chars) nor it plus {marker!r}: "
                f"{len(text)} chars, alike for the first {common}; "
                f"ends {text[-40:]!r}, old ended {old_text[-40:]!r}")

    def check_strays(self, run):
        fresh = []
        for name in sorted(os.listdir(self.folder)):
            if name not in KNOWN | self.program_files and name not in self.strays:
                self.strays[name] = run
                fresh.append(name)
        return fresh

    def final_start(self):
        """A last start after the last kill, ended the polite way: it must
        come up, and with nothing typed leave every note as it is."""
        before = self.read_notes()
        bar = LoopBar(self.server, self.folder)
        try:
            bar.mapped()
        except AssertionError as e:
            self.failed_starts.append(("final", str(e)))
            bar.stop()
            return
        bar.proc.send_signal(signal.SIGTERM)
        code = bar.proc.wait(10)
        bar.output()
        if code != 0:
            self.failed_starts.append(("final", f"SIGTERM ended it with {code}"))
        for note, data in self.read_notes().items():
            if data != before[note]:
                self.bad.append(("final", note, "changed by a start and SIGTERM with no edit"))

    def summary(self, seed, wall):
        print()
        print(f"seed {seed}, {sum(self.kills.values())} runs, wall time {wall:.0f} s, "
              f"folder {self.folder}")
        print(f"{'moment':10s} {'kills':>5s} {'in I/O':>6s} {'typed old':>9s} {'typed new':>9s}")
        for category in CATEGORIES:
            print(f"{category:10s} {self.kills[category]:5d} {self.landed_in_io[category]:6d} "
                  f"{self.outcomes[(category, 'old')]:9d} {self.outcomes[(category, 'new')]:9d}")
        if self.map_times:
            times = sorted(self.map_times)
            print(f"start to mapped: median {times[len(times) // 2] * 1000:.0f} ms, "
                  f"slowest {times[-1] * 1000:.0f} ms")
        print(f"bad files: {len(self.bad)}")
        for run, note, what in self.bad:
            print(f"  run {run} note {note}: {what}")
        print(f"failed starts: {len(self.failed_starts)}")
        for run, what in self.failed_starts:
            print(f"  run {run}: {what}")
        print(f"leftover files in the folder: {len(self.strays)}"
              + "".join(f"\n  {name} (after run {run})" for name, run in self.strays.items()))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--skins", required=True)
    parser.add_argument("--runs", type=int, default=200)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--phase", type=int, default=None,
                        help="runs between rewrites of the starting notes")
    parser.add_argument("--dir", default=None, help="where to make the program folder")
    parser.add_argument("--map-timeout", type=float, default=5.0)
    parser.add_argument("--keep", action="store_true", help="keep the folder even when all is well")
    args = parser.parse_args()
    args.phase = args.phase or max(5, args.runs // 8)
    xharness.ARGS = args
    seed = args.seed if args.seed is not None else int(time.time() * 1000) % 1_000_000
    print(f"seed {seed} (repeat with --seed {seed})", flush=True)

    loop = Loop(args, seed)
    began = time.monotonic()
    try:
        for run in range(args.runs):
            loop.run(run)
            recent = [r for r, _ in loop.failed_starts[-5:]]
            if len(recent) == 5 and recent == list(range(run - 4, run + 1)):
                print("five starts in a row failed; stopping", flush=True)
                break
        loop.final_start()
    finally:
        loop.server.stop()
    loop.summary(seed, time.monotonic() - began)
    ok = not loop.bad and not loop.failed_starts and not loop.strays
    if ok and not args.keep:
        shutil.rmtree(loop.folder)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
