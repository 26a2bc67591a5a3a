"""The parts of the crash loop (crashloop.py) that are not the loop: the
starting notes it writes, how it reads them back, and a bar whose start is
not waited for, with what it has open in its folder.
"""

import os

import xharness

BOM = b"\xef\xbb\xbf"
# Windows-1252 as the program reads it: the five bytes the code page leaves
# undefined stand for the C1 controls of the same value.
CP1252 = {b: ord(bytes([b]).decode("cp1252", "ignore") or chr(b)) for b in range(0x80, 0xA0)}


def decode(data):
    if data.startswith(BOM):
        text = data[len(BOM):].decode("utf-8", "replace")
    else:
        try:
            text = data.decode("utf-8")
        except UnicodeDecodeError:
            text = data.decode("latin-1").translate(CP1252)
    return text.replace("\r\n", "\n").replace("\r", "\n")


def lone_line_ends(data):
    rest = data.replace(b"\r\n", b"")
    return rest.count(b"\r") + rest.count(b"\n")


# --- starting notes ---------------------------------------------------------

WORDS = {
    "ascii": "the quick brown fox jumps over a lazy dog note list item 42 done".split(),
    "cp1252": "café naïve façade Œuvre €5 “quoted” – dash™ plain words more text".split(),
    "unicode": "жёлтый → 𝄞 ✓ 日本語 café € Ελλάδα plain words".split(),
}
# kind: (alphabet, how the bytes are made, line end)
KINDS = {
    "ascii": ("ascii", lambda t: t.encode("ascii"), "\r\n"),
    "cp1252": ("cp1252", lambda t: t.encode("cp1252"), "\r\n"),
    "utf8": ("cp1252", lambda t: t.encode("utf-8"), "\r\n"),
    "utf8bom": ("unicode", lambda t: BOM + t.encode("utf-8"), "\r\n"),
    "lf": ("unicode", lambda t: t.encode("utf-8"), "\n"),
}


def note_bytes(rng, size, kind):
    alphabet, encode, end = KINDS[kind]
    pool = [" ".join(rng.choice(WORDS[alphabet]) for _ in range(rng.randint(1, 7)))
            for _ in range(257)]
    lines, total, i = [], 0, 0
    while total < size:
        line = f"{i:06d} {pool[i % len(pool)]}"
        lines.append(line)
        total += len(line) + len(end)
        i += 1
    text = end.join(lines) + (end if rng.random() < 0.5 else "")
    return encode(text)


def pick_note(rng, profile):
    """None for no file, else the bytes to start from."""
    if profile == "fresh":
        return None
    if profile == "small" or (profile == "mixed" and rng.random() < 0.5):
        choice = rng.choice(["missing", "empty", "small"])
        if choice == "missing":
            return None
        if choice == "empty":
            return b""
        return note_bytes(rng, rng.randint(1, 3000), rng.choice(list(KINDS)))
    size = int(10 ** rng.uniform(5.2, 6.6))  # about 160 K to 4 M characters
    return note_bytes(rng, size, rng.choice(list(KINDS)))


# --- the bar ------------------------------------------------------------------

class LoopBar(xharness.Bar):
    """A bar whose start is not waited for, so that a kill can land in it."""

    def __init__(self, server, folder):
        super().__init__(server, folder, wait=False)

    def mapped(self):
        self.wid = self._find_window()

    def output(self):
        try:
            return super().output().strip()
        finally:
            self.log.close()


def holds_lock(pid, fd):
    """Whether the descriptor carries a lock: the bar holds its folder open
    for as long as it runs, and that is no file being written."""
    try:
        with open(f"/proc/{pid}/fdinfo/{fd}") as f:
            return any(line.startswith("lock:") for line in f)
    except OSError:
        return False


def open_in(pid, folder):
    """What the process has open in the folder, other than its locks."""
    found = []
    try:
        fds = os.listdir(f"/proc/{pid}/fd")
    except OSError:
        return found
    for fd in fds:
        try:
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
        except OSError:
            continue
        if holds_lock(pid, fd):
            continue
        if target == folder:
            found.append("<folder>")
        elif target.startswith(folder + "/"):
            name = target[len(folder) + 1:]
            if name != ".marglet.lock" and not name.startswith("skins/"):
                found.append(name)
    return found
