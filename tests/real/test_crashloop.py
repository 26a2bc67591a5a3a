# Kills the real bar with SIGKILL again and again, at moments picked at
# random, and after every kill checks each note file: it holds what it held
# before, or that plus what this run typed into it; never a mix, never less,
# never gone, always CR LF. A kill well after the autosave must find the typed
# text saved, the next start must not be refused by the lock the killed bar
# left, and nothing may be left behind in the folder.
#
# One X server and one program folder serve every run, so that leftovers meet
# the runs that follow. The notes are rewritten now and then, some megabytes
# long, so that a save takes long enough for a kill to land inside it.
# CTest runs 20 kills with a fixed seed; `make crashloop` (RUNS=n, SEED=n)
# runs the full loop.

import contextlib
import glob
import os
import random
import subprocess
import time

from harness import OPEN, TABS, Bar, copy_program, read_bytes, wait_for, write_bytes

AUTOSAVE, MARGIN = 2.0, 1.5
NOTES = (1, 2, 3)
BOM = b"\xef\xbb\xbf"
# The moment of the kill, and how often it is picked. "write" waits for the
# bar to open a file in its folder after the pause, so that it lands inside
# a save (write, sync, rename or folder sync) however quick the disk is.
MOMENTS = {
    "startup": 12,   # 0..400 ms after exec: settings, notes being read, the window coming up
    "typing": 12,    # while the marker is being typed
    "after": 14,     # 0..1.8 s after the last key: edits held in memory only
    "autosave": 26,  # 2 s +-100 ms after the last key
    "write": 18,     # as soon as a file in the folder is open after the pause
    "late": 18,      # 3.5..5 s after the last key: the save must be on disk
}
PAUSES = {"after": (0, 1.8), "autosave": (AUTOSAVE - 0.1, AUTOSAVE + 0.1),
          "late": (AUTOSAVE + MARGIN, AUTOSAVE + MARGIN + 1.5)}  # s after the last key
WORDS = {"ascii": "the quick brown fox jumps over a lazy dog note list item 42 done".split(),
         "cp1252": "café naïve façade Œuvre €5 “quoted” – dash™ plain words more text".split(),
         "unicode": "жёлтый → 𝄞 ✓ 日本語 café € Ελλάδα plain words".split()}
# kind: (words, bytes of the text, line end)
KINDS = {"ascii": ("ascii", lambda t: t.encode("ascii"), "\r\n"),
         "cp1252": ("cp1252", lambda t: t.encode("cp1252"), "\r\n"),
         "utf8": ("cp1252", lambda t: t.encode("utf-8"), "\r\n"),
         "utf8bom": ("unicode", lambda t: BOM + t.encode("utf-8"), "\r\n"),
         "lf": ("unicode", lambda t: t.encode("utf-8"), "\n")}
# Windows-1252 as the program reads it: the five bytes the code page leaves
# undefined stand for the C1 controls of the same value.
CP1252 = {b: ord(bytes([b]).decode("cp1252", "ignore") or chr(b)) for b in range(0x80, 0xA0)}


def decode(data):
    if data.startswith(BOM):
        text = data[3:].decode("utf-8", "replace")
    else:
        try:
            text = data.decode("utf-8")
        except UnicodeDecodeError:
            text = data.decode("latin-1").translate(CP1252)
    return text.replace("\r\n", "\n").replace("\r", "\n")


def note_bytes(rng, profile):
    """None for no file, else the bytes a note starts from."""
    if profile == "fresh":
        return None
    if profile == "small" or (profile == "mixed" and rng.random() < 0.5):
        choice = rng.choice(["missing", "empty", "small"])
        if choice != "small":
            return None if choice == "missing" else b""
        size = rng.randint(1, 3000)
    else:
        size = int(10 ** rng.uniform(5.2, 6.6))  # about 160 K to 4 M characters
    words, encode, end = KINDS[rng.choice(list(KINDS))]
    pool = [" ".join(rng.choice(WORDS[words]) for _ in range(rng.randint(1, 7)))
            for _ in range(257)]
    lines, total = [], 0
    while total < size:
        lines.append(f"{len(lines):06d} {pool[len(lines) % 257]}")
        total += len(lines[-1]) + len(end)
    return encode(end.join(lines) + (end if rng.random() < 0.5 else ""))


def writing(pid, folder):
    # Whether the bar has its folder or a file there open: a save. It holds
    # the folder and its lock file open, locked, for as long as it runs.
    for fd in glob.glob(f"/proc/{pid}/fd/*"):
        with contextlib.suppress(OSError):
            target = os.readlink(fd)
            if target.startswith(folder) and "/skins/" not in target and b"lock:" not in \
                    read_bytes(fd.replace("/fd/", "/fdinfo/")):
                return True


def sleep_until(moment):
    time.sleep(max(0.0, moment - time.monotonic()))


class Loop:
    def __init__(self, session, folder, seed, runs):
        self.session, self.folder = session, folder
        self.rng, self.phase = random.Random(seed), max(5, runs // 8)
        copy_program(folder)
        self.known = set(os.listdir(folder)) | {"settings.dat", ".marglet.lock"} | {
            f"note0{n}.qkn" for n in NOTES}
        self.problems = []

    def notes(self):
        return {n: read_bytes(os.path.join(self.folder, f"note0{n}.qkn")) for n in NOTES}

    def reseed(self, run):
        phase = run // self.phase
        if phase % 4 == 0:
            self.order = self.rng.sample(["fresh", "small", "mixed", "large"], 4)
        for n in NOTES:
            path, data = os.path.join(self.folder, f"note0{n}.qkn"), note_bytes(
                self.rng, self.order[phase % 4])
            if data is not None:
                write_bytes(path, data)
            elif os.path.exists(path):
                os.remove(path)

    def wait_for_io(self, bar, last_key):
        extra = self.rng.choice([0, 0, self.rng.uniform(0, 0.004)])
        sleep_until(last_key + AUTOSAVE - 0.15)
        while time.monotonic() < last_key + AUTOSAVE + 1.0 and bar.proc.poll() is None:
            if writing(bar.proc.pid, self.folder):
                end = time.monotonic() + extra
                while time.monotonic() < end:
                    pass
                return

    def run(self, run):
        rng = self.rng
        if run % self.phase == 0:
            self.reseed(run)
        moment = rng.choices(list(MOMENTS), weights=list(MOMENTS.values()))[0]
        first = rng.choice(NOTES)
        plan = [(first, first != 1 or rng.random() < 0.5)]
        if rng.random() < 0.35:
            plan.append((rng.choice([n for n in NOTES if n != first]), True))
        markers = {n: f"r{run}{'ab'[i] if len(plan) > 1 else ''};" for i, (n, _) in enumerate(plan)}
        before, touched, last_key, typing = self.notes(), [], None, None
        label = f"run {run} ({moment})"
        bar = Bar(self.session, self.folder, wait=False)
        try:
            if moment == "startup":
                time.sleep(rng.uniform(0, 0.4))
            else:
                bar.wid = wait_for(bar.find_window, 5.0, "the bar mapped within 5 s")
                bar.slide(OPEN)
                for i, (n, tab) in enumerate(plan):
                    if tab:
                        bar.click(*TABS[n])
                    bar.type_into_pad("")
                    self.session.key("ctrl+End")  # the click left it anywhere
                    touched.append(n)
                    if moment == "typing" and i == len(plan) - 1:
                        typing = subprocess.Popen(["xdotool", "type", "--delay", "30", markers[n]],
                                                  env=self.session.env())
                        time.sleep(rng.uniform(0, 0.03 * len(markers[n])))
                    else:
                        self.session.type_text(markers[n])
                last_key = time.monotonic()
                if moment in PAUSES:
                    sleep_until(last_key + rng.uniform(*PAUSES[moment]))
                elif moment == "write":
                    self.wait_for_io(bar, last_key)
        except AssertionError as e:
            self.problems.append(f"{label}: start: {e}")
        if bar.proc.poll() is not None:
            # Nothing but the kill may end it: an exit of its own is a
            # refused start or a crash.
            self.problems.append(f"{label}: ended by itself with {bar.proc.returncode}: "
                                 + bar.output())
        bar.kill()
        after_key = 0.0 if last_key is None else time.monotonic() - last_key
        if typing:
            typing.wait(10)
        self.check(label, before, {n: markers[n] for n in touched}, after_key)

    def check(self, label, before, typed, after_key):
        for n, new in self.notes().items():
            old, marker, bad = before[n], typed.get(n), None
            old_text = "" if old is None else decode(old)
            text = None if new is None else decode(new)
            rest = (new or b"").replace(b"\r\n", b"")
            if new == old:
                pass
            elif new is None:
                bad = "deleted"
            elif not new:
                bad = "emptied" if old else "created empty"
            elif text not in (old_text, old_text + (marker or "")):
                bad = (f"neither the old text nor it plus {marker!r}: {len(text)} chars ending "
                       f"{text[-40:]!r}, old ended {old_text[-40:]!r}")
            elif rest.count(b"\r") + rest.count(b"\n"):
                bad = "line ends that are not CR LF"
            if not bad and marker and after_key > AUTOSAVE + MARGIN and text != old_text + marker:
                bad = f"the typed text is not on disk {after_key:.1f} s after typing"
            if bad:
                self.problems.append(f"{label}: note {n}: {bad}")
        for name in sorted(set(os.listdir(self.folder)) - self.known):
            self.problems.append(f"{label}: left behind: {name}")
            self.known.add(name)


def test_every_kill_leaves_each_note_old_or_old_plus_what_was_typed(session, tmp_path, request):
    runs = int(request.config.getoption("runs") or 200)
    seed = int(request.config.getoption("seed") or time.time_ns() // 1000 % 1_000_000)
    loop = Loop(session, str(tmp_path), seed, runs)
    for run in range(runs):
        loop.run(run)
    assert loop.problems == [], f"seed {seed} (repeat with SEED={seed})"
    # A last start, ended the polite way: it must come up, and with nothing
    # typed leave every note as it is.
    before = loop.notes()
    assert Bar(session, loop.folder).stop() == 0
    assert loop.notes() == before, "notes changed by a start and SIGTERM with no edit"
