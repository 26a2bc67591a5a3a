"""What the desk fault suite (faults_files.py) stands on: files read from
outside, special files and GIFs made on purpose, and a test case that runs
bars in program folders of their own and watches what they show and print.
"""

import hashlib
import os
import pwd
import re
import shutil
import signal
import stat
import struct
import subprocess
import tempfile
import unittest

import xharness
from xharness import XTestCase, read_bytes as read

MAXMIN = (159, 8)
PAD = (60, 100)
TABS = {1: (37, 38), 2: (89, 38), 3: (141, 38)}
EXPANDED = 343
BAR_LEFT, BAR_TOP = 1920 - 256, 5
PAD_AREA = (BAR_LEFT + 8, BAR_TOP + 48, 169, 193)  # screen coordinates
AUTOSAVE = 2.0
MIB = 1024 * 1024
USER = xharness.TEST_USER


# --- files as seen from outside ------------------------------------------------

def snapshot(path, follow=False):
    """What a write, a replacement or a touch would change about a path."""
    st = os.stat(path) if follow else os.lstat(path)
    kind = stat.S_IFMT(st.st_mode)
    shot = {"kind": kind, "ino": st.st_ino, "mode": st.st_mode, "uid": st.st_uid}
    if stat.S_ISREG(st.st_mode):
        digest = hashlib.sha256()
        with open(path, "rb") as f:
            for block in iter(lambda: f.read(MIB), b""):
                digest.update(block)
        shot.update(size=st.st_size, mtime=st.st_mtime_ns, sha=digest.hexdigest())
    elif stat.S_ISLNK(st.st_mode):
        shot["target"] = os.readlink(path)
    else:
        shot["rdev"] = st.st_rdev
    return shot


def named(folder, pattern):
    return sorted(n for n in os.listdir(folder) if re.fullmatch(pattern, n))


def make_node(path, device=(1, 3)):
    # Always a node of our own: nothing here may point at the real /dev/null.
    xharness.require("mknod")
    os.mknod(path, 0o666 | stat.S_IFCHR, os.makedev(*device))


def give_to_user(path):
    user = pwd.getpwnam(USER)
    for root, dirs, files in os.walk(path):
        for name in [root] + [os.path.join(root, n) for n in dirs + files]:
            os.lchown(name, user.pw_uid, user.pw_gid)


# --- GIFs of one colour, LZW-compressed as giflib's encoder does it ------------

def one_colour_gif(width, height, rgb):
    """A GIF89a of one colour. Each code of a uniform image stands for a run
    one pixel longer than the one before, so the codes follow from the pixel
    count alone, and a 5000 x 5000 picture takes tens of kilobytes."""
    min_bits = 2
    clear, end = 1 << min_bits, (1 << min_bits) + 1
    out, acc, used = bytearray(), 0, 0
    bits, limit, running = min_bits + 1, 1 << (min_bits + 1), end + 1

    def emit(code):
        nonlocal acc, used, bits, limit
        acc |= code << used
        used += bits
        while used >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            used -= 8
        if running >= limit and code <= 4095:  # the encoder widens one code early
            bits += 1
            limit = 1 << bits

    codes = {1: 0}  # run length -> code; runs 1..longest are in the table
    longest = 1
    emit(clear)
    left = width * height - 1
    current = 1  # the pixel taken first
    while True:
        grow = min(longest - current, left)
        current += grow
        left -= grow
        if not left:
            break
        emit(codes[current])
        left -= 1  # the pixel that did not fit starts the next run
        if running >= 4095:
            emit(clear)
            running, bits, limit = end + 1, min_bits + 1, 1 << (min_bits + 1)
            codes, longest = {1: 0}, 1
        else:
            longest = current + 1
            codes[longest] = running
            running += 1
        current = 1
    emit(codes[current])
    emit(end)
    if used:
        out.append(acc & 0xFF)
    pieces = [out[i:i + 255] for i in range(0, len(out), 255)]
    blocks = b"".join(bytes([len(piece)]) + piece for piece in pieces)
    palette = bytes(rgb) + b"\0" * 9
    return (b"GIF89a" + struct.pack("<HHBBB", width, height, 0x91, 0, 0) + palette
            + b"," + struct.pack("<HHHHB", 0, 0, width, height, 0)
            + bytes([min_bits]) + blocks + b"\0;")


class BarDriving:
    """What a user does to a bar, and what it shows and prints, read from
    outside; each bar on the X server it runs on."""

    def expand(self, bar, timeout=3.0):
        bar.click(*MAXMIN)
        bar.wait_for(lambda: bar.geometry()[3] == EXPANDED, timeout=timeout,
                     what="the expanded height")

    def focus_note(self, bar, note):
        """Clicks a note's tab and into the pad, the caret at the end."""
        bar.click(*TABS[note])
        bar.click(*PAD)
        bar.server.run("xdotool", "windowfocus", "--sync", str(bar.wid), check=False)
        bar.server.run("xdotool", "key", "ctrl+End")

    def type_into(self, bar, note, text, delay=5):
        """Types at the end of a note, as a user who clicked into it."""
        self.focus_note(bar, note)
        bar.server.run("xdotool", "type", "--delay", str(delay), text)

    def pad(self, bar):
        return bar.server.pixels(*PAD_AREA)

    def wait_pad_change(self, bar, before, what, timeout=5.0):
        # More than a caret's worth of pixels: text appeared or changed.
        def changed():
            now = self.pad(bar)
            return sum(a != b for ra, rb in zip(before, now) for a, b in zip(ra, rb)) > 30
        bar.wait_for(changed, timeout, what)

    def wait_message(self, bar, pattern, timeout=5.0):
        """The message printed and a message window of the bar on screen."""
        found = bar.wait_for(lambda: re.search(pattern, bar.output()), timeout,
                             "a message matching " + pattern)
        bar.wait_for(bar.message_windows, timeout, "a message window")
        return found

    def wait_file(self, bar, path, expected, timeout=AUTOSAVE + 4):
        bar.wait_for(lambda: read(path) == expected, timeout, f"{path} to hold {expected[:60]!r}")

    def terminate(self, bar, timeout=5.0):
        os.kill(bar.pid(), signal.SIGTERM)
        return bar.wait_exit(timeout)

    def window_area(self, wid, server=None):
        info = (server or self.server).run("xwininfo", "-id", str(wid))
        return tuple(int(re.search(name + r":\s+(-?\d+)", info).group(1)) for name in
                     ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def screenshot(self, name, area, server=None):
        os.makedirs(xharness.ARGS.out, exist_ok=True)
        (server or self.server).screenshot(os.path.join(xharness.ARGS.out, name), *area)


class DeskFaultCase(BarDriving, XTestCase):
    """Runs bars in program folders of their own, as root or as the ordinary
    test user, and reads what they did from outside."""

    created_user = False

    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0:
            raise unittest.SkipTest("needs root: it makes device nodes and runs the bar as "
                                    "another user")

    @classmethod
    def tearDownClass(cls):
        if cls.created_user:
            subprocess.run(["userdel", USER], capture_output=True)

    def setUp(self):
        super().setUp()
        self.data = self.temp_dir("marglet-data-")

    def temp_dir(self, prefix):
        path = tempfile.mkdtemp(prefix=prefix)
        self.addCleanup(shutil.rmtree, path, True)
        return path

    def program_folder(self, files=None):
        """A program folder; `files` maps a relative name to bytes, or to a
        function making the file at the path it is given."""
        folder = os.path.realpath(self.temp_dir("marglet-x11-"))
        xharness.copy_program(folder)
        for name, content in (files or {}).items():
            path = os.path.join(folder, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if os.path.lexists(path):  # a skin image that comes with the program
                os.remove(path)
            if callable(content):
                content(path)
            else:
                with open(path, "wb") as f:
                    f.write(content)
        return folder

    def as_user(self, folder):
        """Hands the program and data folders to the ordinary user."""
        if xharness.ensure_test_user():
            type(self).created_user = True
        give_to_user(folder)
        give_to_user(self.data)
        return USER

    def run_bar(self, folder, **kwargs):
        # Waited for here, so that a bar whose window never comes (one hung
        # on a pipe) is still ended with the test.
        bar = self.start(folder=folder, env={"XDG_DATA_HOME": self.data}, wait=False, **kwargs)
        try:
            bar.wid = bar._find_window()
        except AssertionError:
            bar.stop()
            raise
        return bar
