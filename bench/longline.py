#!/usr/bin/python3
"""A note of one long line without spaces (a pasted key, log line or data
URL), on the real bar under Xvfb, against a bare QPlainTextEdit of the pad's
size and font wrapping anywhere, its fastest mode for such a line.

Each run times from outside, for a 1 MB and a 10 MB line:
- start: from the window showing to the program answering pings (a bar
  that lays its pad out at start is busy until then);
- expand: from the click on the expand button to the pad drawn full of text;
- tab switch: from the click on the long note's tab (coming from a short
  note) to the pad drawn full of text again;
- keystroke: from a key sent through XTEST to the program answering a ping
  sent right after it: X events are handled in order, so the answer comes
  once the key has been handled;
- the worst stall of each step: the program is pinged every 5 ms with
  _NET_WM_PING, which Qt answers from its event loop; the longest any ping
  waits for its answer is the longest the program could not answer a click.
A step that does not finish within the deadline is shown as such.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X, display as xdisplay, protocol
from Xlib.ext import xtest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "real"))
import harness  # noqa: E402
from harness import Bar, Session  # noqa: E402

EXPAND = (152 + 7, 1 + 7)
CLOSE = (169 + 7, 1 + 7)
TAB1 = (33, 37)
TAB2 = (85, 37)
PAD = (60, 100)
PING_EVERY = 0.005
KEYS = 5


def long_line(size):
    # Letters and digits only: no break opportunity anywhere (a slash or a
    # hyphen would give the word wrap one).
    chunk = b"AbCdEfGhIjKlMnOpQrStUvWxYz0123456789"
    return (chunk * (size // len(chunk) + 1))[:size]


class Probe:
    """Pings one window on a connection of its own and keeps the longest
    wait for an answer."""

    def __init__(self, server, wid):
        self.x = xdisplay.Display(server.display)
        self.root = self.x.screen().root
        self.root.change_attributes(event_mask=X.StructureNotifyMask)
        self.window = self.x.create_resource_object("window", wid)
        self.protocols = self.x.intern_atom("WM_PROTOCOLS")
        self.ping_atom = self.x.intern_atom("_NET_WM_PING")
        self.seq = 0
        self.sent = {}
        self.last = 0.0
        self.worst = 0.0

    def ping(self):
        self.seq += 1
        self.sent[self.seq] = time.monotonic()
        self.last = self.sent[self.seq]
        self.window.send_event(protocol.event.ClientMessage(
            window=self.window, client_type=self.protocols,
            data=(32, [self.ping_atom, self.seq, self.window.id, 0, 0])))
        self.x.flush()
        return self.seq

    def poll(self):
        """Reads the answers; returns the sequence numbers answered."""
        answered = []
        while self.x.pending_events():
            event = self.x.next_event()
            if event.type == X.ClientMessage and event.data[1][0] == self.ping_atom:
                seq = event.data[1][1]
                if seq in self.sent:
                    self.worst = max(self.worst, time.monotonic() - self.sent.pop(seq))
                    answered.append(seq)
        return answered

    def stall(self):
        """The longest wait since the last reset, unanswered pings included."""
        now = time.monotonic()
        return max([self.worst] + [now - t for t in self.sent.values()])

    def reset(self):
        self.poll()
        self.sent.clear()
        self.worst = 0.0

    def keep_pinging(self, until, timeout):
        """Pings while waiting for `until()`; its time, or None at the deadline."""
        began = time.monotonic()
        next_look = began
        while time.monotonic() < began + timeout:
            if time.monotonic() >= self.last + PING_EVERY:
                self.ping()
            self.poll()
            if time.monotonic() >= next_look:
                if until():
                    return time.monotonic() - began
                next_look = time.monotonic() + 0.01
            time.sleep(0.001)
        return None

    def close(self):
        self.x.close()


class Subject:
    """The bar or the bare editor, running with the long note."""

    def __init__(self, server, kind, binary, note, folder, deadline):
        self.server = server
        self.kind = kind
        self.deadline = deadline
        self.x = server.x
        if kind == "bar":
            self.bar = Bar(server, folder=folder)
            self.proc = self.bar.proc
            self.wid = self.bar.wid
        else:
            self.bar = None
            self.proc = subprocess.Popen([binary, note], env=server.env(),
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.wid = None
            end = time.time() + deadline
            while self.wid is None and time.time() < end:
                found = server.run("xdotool", "search", "--onlyvisible", "--name", "^Bare Pad$",
                                   check=False).split()
                self.wid = int(found[0]) if found else None
                time.sleep(0.05)
            if self.wid is None:
                raise RuntimeError("the bare editor never showed")
        self.window = self.x.create_resource_object("window", self.wid)
        self.probe = Probe(server, self.wid)
        # Settled: it answers pings, so start-up is behind it.
        self.settled = self.probe.keep_pinging(lambda: not self.probe.sent, deadline)

    def origin(self):
        g = self.window.get_geometry()
        at = self.window.translate_coords(self.x.screen().root, 0, 0)
        return -at.x, -at.y, g.width, g.height

    def click(self, point):
        left, top, _, _ = self.origin()
        xtest.fake_input(self.x, X.MotionNotify, x=left + point[0], y=top + point[1])
        xtest.fake_input(self.x, X.ButtonPress, 1)
        xtest.fake_input(self.x, X.ButtonRelease, 1)
        self.x.sync()

    def text_below(self):
        """Dark pixels in the lower half of the pad: only a long note has them."""
        _, _, _, height = self.origin()
        if height < 241:
            return False
        data = self.window.get_image(8, 150, 150, 90, X.ZPixmap, 0xFFFFFFFF).data
        dark = sum(1 for i in range(0, len(data), 4) if data[i] + data[i + 1] + data[i + 2] < 250)
        return dark > 100

    def step(self, action, until):
        """Does `action`, then times `until` and the worst stall meanwhile."""
        self.probe.reset()
        action()
        took = self.probe.keep_pinging(until, self.deadline)
        return took, self.probe.stall()

    def expand(self):
        return self.step(lambda: self.click(EXPAND), self.text_below)

    def switch(self):
        self.click(TAB2)
        if self.probe.keep_pinging(lambda: not self.text_below(), self.deadline) is None:
            return None, self.probe.stall()
        return self.step(lambda: self.click(TAB1), self.text_below)

    def keystrokes(self):
        self.click(PAD)
        self.x.set_input_focus(self.wid, X.RevertToParent, X.CurrentTime)
        self.x.sync()
        self.probe.keep_pinging(lambda: False, 0.2)
        self.probe.reset()
        code = self.x.keysym_to_keycode(ord("a"))
        times = []
        for _ in range(KEYS):
            xtest.fake_input(self.x, X.KeyPress, code)
            xtest.fake_input(self.x, X.KeyRelease, code)
            self.x.sync()
            seq = self.probe.ping()
            sent = self.probe.sent[seq]
            got = None
            end = time.monotonic() + self.deadline
            while got is None and time.monotonic() < end:
                if seq in self.probe.poll():
                    got = time.monotonic() - sent
                time.sleep(0.0005)
            if got is None:
                return None, None, self.probe.stall()
            times.append(got)
            self.probe.keep_pinging(lambda: False, 0.05)
        return statistics.median(times), max(times), self.probe.stall()

    def stop(self):
        self.probe.close()
        if self.bar:
            self.bar.stop()
        elif self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def one_run(server, kind, binary, note, folder, deadline):
    """Figures of one run in seconds; a step past its deadline ends the run."""
    figures = {}
    subject = Subject(server, kind, binary, note, folder, deadline)
    try:
        figures["start"] = subject.settled
        if subject.settled is None:
            return figures
        for name, step in (("expand", subject.expand), ("switch", subject.switch)):
            took, stall = step()
            figures[name], figures[name + " stall"] = took, stall
            if took is None:
                return figures
        median, worst, stall = subject.keystrokes()
        figures.update({"key": median, "key worst": worst, "key stall": stall})
    finally:
        subject.stop()
    return figures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--skins", required=True)
    parser.add_argument("--bare", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--deadline", type=float, default=60.0)
    parser.add_argument("--sizes", default="1000000,10000000")
    args = parser.parse_args()
    harness.BINARY, harness.SKINS = args.binary, args.skins

    rows = []
    server = Session()
    try:
        for size in (int(s) for s in args.sizes.split(",")):
            scratch = tempfile.mkdtemp(prefix="marglet-long-")
            note = os.path.join(scratch, "note.txt")
            with open(note, "wb") as f:
                f.write(long_line(size))
            results = {}
            for kind in ("bar", "bare"):
                runs = []
                for _ in range(args.runs):
                    folder = tempfile.mkdtemp(prefix="marglet-long-bar-")
                    shutil.copy(note, os.path.join(folder, "note01.qkn"))
                    with open(os.path.join(folder, "note02.qkn"), "wb") as f:
                        f.write(b"short")
                    try:
                        runs.append(one_run(server, kind, os.path.abspath(args.bare), note,
                                            folder, args.deadline))
                    finally:
                        shutil.rmtree(folder, ignore_errors=True)
                    if None in runs[-1].values() or len(runs[-1]) < 9:
                        break  # past a deadline: once is enough to tell
                results[kind] = runs
            shutil.rmtree(scratch, ignore_errors=True)
            rows.append((size, results))
    finally:
        server.stop()

    def cell(runs, key):
        values = [r.get(key) for r in runs]
        if not values or any(v is None for v in values):
            return None, f">{args.deadline:.0f} s" if key in runs[-1] else "not reached"
        value = statistics.median(values) * 1000
        return value, f"{value:.1f}"

    print(f"A note of one line without spaces, median of up to {args.runs} runs "
          "(ms; bare editor wrapping anywhere)")
    print(f"{'note':7} {'step':18} {'bar':>12} {'bare':>12} {'ratio':>8}")
    labels = [("start", "start, answering"), ("expand", "expand"), ("expand stall", "  worst stall"),
              ("switch", "tab switch"), ("switch stall", "  worst stall"),
              ("key", "keystroke median"), ("key worst", "keystroke worst"),
              ("key stall", "  worst stall")]
    for size, results in rows:
        for key, label in labels:
            ours, ours_text = cell(results["bar"], key)
            base, base_text = cell(results["bare"], key)
            ratio = f"{ours / base:.2f}x" if ours is not None and base else "-"
            print(f"{size // 1_000_000:>4} MB {label:18} {ours_text:>12} {base_text:>12} "
                  f"{ratio:>8}")


if __name__ == "__main__":
    main()
