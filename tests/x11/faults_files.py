"""Faults from the desk around the real bar: note files its user may not
read, special files where notes, settings or skin images belong, the X
server going away, notes in each encoding edited through the real pad, and
skin images far larger than the bar. (What another program writes, steady
typing and the size limit are the note model's, tested in tests/notes.)

Every case is checked from outside: the bytes (and inode, times) of each
file before and after, what the bar printed and which message windows it
showed, and whether the process still runs or how it ended. Needs root: it
makes device nodes and runs the bar as an ordinary user.
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
import time
import unittest

import xharness
from xharness import XTestCase, read_bytes as read, settings_bytes

MAXMIN = (159, 8)
CLOSE = (176, 8)
PAD = (60, 100)
TABS = {1: (37, 38), 2: (89, 38), 3: (141, 38)}
LOAD_TEXT = (92, 289)
OPTIONS = (53, 315)
EXPANDED = 343
BAR_LEFT, BAR_TOP = 1920 - 256, 5
PAD_AREA = (BAR_LEFT + 8, BAR_TOP + 48, 169, 193)  # screen coordinates
CLOSE_AREA = (BAR_LEFT + 169, BAR_TOP + 1, 15, 15)
BAR_BLUE = (0x4D, 0x90, 0xFE)  # what the bar paints where no picture lies
AUTOSAVE = 2.0
MIB = 1024 * 1024
USER = xharness.TEST_USER
STAMP = r"\d{4}-\d{2}-\d{2} \d{6}"
BOM = b"\xef\xbb\xbf"
SKIN_FILES = ("background.gif", "buttonarea.gif", "close.gif", "max.gif", "min.gif")


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


class DeskFaults(XTestCase):
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

    # --- helpers ---------------------------------------------------------------

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

    def expand(self, bar, timeout=3.0):
        bar.click(*MAXMIN)
        bar.wait_for(lambda: bar.geometry()[3] == EXPANDED, timeout=timeout,
                     what="the expanded height")

    def type_into(self, bar, note, text, delay=5):
        """Types at the end of a note, as a user who clicked into it."""
        bar.click(*TABS[note])
        bar.click(*PAD)
        self.server.run("xdotool", "windowfocus", "--sync", str(bar.wid), check=False)
        self.server.run("xdotool", "key", "ctrl+End")
        self.server.run("xdotool", "type", "--delay", str(delay), text)

    def pad(self):
        return self.server.pixels(*PAD_AREA)

    def wait_pad_change(self, bar, before, what, timeout=5.0):
        # More than a caret's worth of pixels: text appeared or changed.
        def changed():
            now = self.pad()
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

    def window_area(self, wid):
        info = self.server.run("xwininfo", "-id", str(wid))
        return tuple(int(re.search(name + r":\s+(-?\d+)", info).group(1)) for name in
                     ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def screenshot(self, name, area):
        os.makedirs(xharness.ARGS.out, exist_ok=True)
        self.server.screenshot(os.path.join(xharness.ARGS.out, name), *area)

    # --- notes that cannot be read -------------------------------------------

    def test_unreadable_notes_stay_untouched_and_are_kept_before_their_first_save(self):
        def sparse(path):
            with open(path, "wb"):
                pass
            os.truncate(path, 65 * MIB)
            give_to_user(path)

        def with_nul(path):
            with open(path, "wb") as f:
                f.write(b"line one\r\n\x00\x01binary\r\n")
            give_to_user(path)

        def root_only(path):
            with open(path, "wb") as f:
                f.write(b"private\r\n")
            os.chmod(path, 0o600)

        # note: how its file is made, the reason the bar gives, what is typed
        cases = {
            1: (sparse, r"it is larger than 64 MiB\.", "big"),
            2: (with_nul, r"it does not look like a text file\.", "nul"),
            3: (root_only, r"you do not have permission\.", "perm"),
        }
        folder = self.program_folder()
        user = self.as_user(folder)
        paths = {n: os.path.join(folder, f"note0{n}.qkn") for n in cases}
        for n, (make, _, _) in cases.items():
            make(paths[n])
        before = {n: snapshot(p) for n, p in paths.items()}

        # Shown empty, said, and left alone even by a close without edits.
        bar = self.run_bar(folder, user=user)
        for n, (_, reason, _) in cases.items():
            with self.subTest(note=n, run="untouched"):
                self.wait_message(bar, rf'marglet: Note 0{n} could not be read\. Could not read '
                                       rf'"{re.escape(paths[n])}": {reason}\s+It shows empty\. '
                                       r"Its file is left as it is, and is kept under another "
                                       r"name before this note is first saved\.")
        bar.click(*CLOSE)
        self.assertEqual(bar.wait_exit(), 0)
        for n in cases:
            with self.subTest(note=n, run="closed"):
                self.assertEqual(snapshot(paths[n]), before[n])
        self.assertEqual(named(folder, r".*could not be read.*"), [])

        # Typed into: the original is kept under its own name at the autosave.
        bar = self.run_bar(folder, user=user)
        self.expand(bar)
        for n, (_, _, typed) in cases.items():
            self.type_into(bar, n, typed)
        for n, (_, _, typed) in cases.items():
            with self.subTest(note=n, run="edited"):
                self.wait_file(bar, paths[n], typed.encode())
                kept = named(folder, rf"note0{n} \(could not be read {STAMP}\)\.qkn")
                self.assertEqual(len(kept), 1, os.listdir(folder))
                shot = snapshot(os.path.join(folder, kept[0]))
                self.assertEqual(shot, before[n], "the unreadable file is kept byte for byte")
                self.wait_message(bar, rf'marglet: The file Note 0{n} could not be read from is '
                                       rf'kept as "{re.escape(os.path.join(folder, kept[0]))}"')
        self.assertIsNone(bar.proc.poll())

    # --- encodings survive an edit --------------------------------------------

    def test_each_note_keeps_its_encoding_after_one_key(self):
        cases = {
            1: "café\r\n".encode("utf-8"),            # UTF-8 another editor wrote, no mark
            2: BOM + "café ✓\r\n".encode("utf-8"),    # our own UTF-8
            3: "café\r\n".encode("cp1252"),           # the old format
        }
        folder = self.program_folder({f"note0{n}.qkn": b for n, b in cases.items()})
        bar = self.run_bar(folder)
        self.expand(bar)
        for n in cases:
            self.type_into(bar, n, "x")
        for n, old in cases.items():
            with self.subTest(note=n):
                self.wait_file(bar, os.path.join(folder, f"note0{n}.qkn"), old + b"x")
        self.assertEqual(self.terminate(bar), 0)

    # --- special files ----------------------------------------------------------

    def test_pipes_where_files_belong_neither_hang_nor_get_written(self):
        # where the pipe is, what the bar says (None: nothing), whether
        # Options is opened (it lists every skin folder)
        cases = [
            ("note01.qkn", r'Note 01 could not be read\. Could not read "{path}": it is a named '
                           r"pipe, not a regular file\.", False),
            ("settings.dat", r'Could not read "{path}": it is a named pipe, not a regular file\.',
             False),
            ("skins/Blue/close.gif", r"These skin images are missing, cannot be read or are "
                                     r"larger than the bar:\n{path}\n", False),
            ("skins/Other/background.gif", None, True),
        ]
        for where, said, options in cases:
            with self.subTest(pipe=where):
                files = {where: os.mkfifo}
                if where.startswith("skins/Other"):
                    files.update({f"skins/Other/{n}": b"" for n in SKIN_FILES[1:]})
                folder = self.program_folder(files)
                pipe = os.path.join(folder, where)
                before = snapshot(pipe)
                # A bar that opened the pipe waits on it for good, and its
                # window never comes: run_bar fails then.
                bar = self.run_bar(folder)
                try:
                    if said:
                        self.wait_message(bar, "marglet: " + said.format(path=re.escape(pipe)))
                    if where.endswith("close.gif"):
                        close = self.server.pixels(*CLOSE_AREA)
                        self.assertTrue(any(px != BAR_BLUE for row in close for px in row),
                                        "the built-in close image is shown")
                    if options:
                        self.expand(bar)
                        bar.click(*OPTIONS)
                        bar.wait_for(lambda: self.server.run(
                            "xdotool", "search", "--onlyvisible", "--name",
                            "^QKS Marglet Options$", check=False).strip(),
                            5.0, "the Options window")
                        self.assertNotIn("marglet:", bar.output())
                    self.assertEqual(self.terminate(bar), 0)
                    self.assertEqual(snapshot(pipe), before, "the pipe is left as it was")
                finally:
                    bar.stop()

    def test_a_device_note_is_never_written_and_closing_offers_a_rescue(self):
        def node_here(path):
            make_node(path)

        def link_to_node(path):
            nodes = self.temp_dir("marglet-node-")
            make_node(os.path.join(nodes, "null"))
            os.symlink(os.path.join(nodes, "null"), path)

        for make in (node_here, link_to_node):
            with self.subTest(note=make.__name__):
                folder = self.program_folder({"note01.qkn": make})
                path = os.path.join(folder, "note01.qkn")
                before = snapshot(path), snapshot(path, follow=True)
                rescues = os.path.join(self.data, "marglet")
                bar = self.run_bar(folder)
                try:
                    self.wait_message(bar, rf'marglet: Note 01 could not be read\. Could not read '
                                           rf'"{re.escape(path)}": it is a device, not a regular '
                                           r"file\.")
                    self.expand(bar)
                    self.type_into(bar, 1, "rescue me")
                    self.wait_message(bar, r"marglet: Note 01 was not saved\. [^\n]* a device, "
                                           r"not a regular file", timeout=AUTOSAVE + 4)
                    self.assertEqual((snapshot(path), snapshot(path, follow=True)), before)
                    shown = set(bar.message_windows())
                    bar.click(*CLOSE)
                    question = bar.wait_for(lambda: set(bar.message_windows()) - shown, 5.0,
                                            "the question on closing").pop()
                    self.assertIsNone(bar.proc.poll(), "closing waits for the answer")
                    if make is node_here:
                        left, top, width, height = self.window_area(question)
                        self.screenshot("faults_rescue_question.png", (left, top, width, height))
                    self.server.run("xdotool", "windowfocus", "--sync", str(question), check=False)
                    self.server.run("xdotool", "key", "alt+r")
                    self.assertEqual(bar.wait_exit(), 1, "unsaved text ends with status 1")
                    kept = named(rescues, rf"note01 \(rescued {STAMP}\)\.txt")
                    self.assertEqual(len(kept), 1)
                    self.assertEqual(read(os.path.join(rescues, kept[0])), b"rescue me")
                    self.assertIn("marglet: unsaved notes kept in "
                                  + os.path.join(rescues, kept[0]), bar.output())
                    self.assertEqual((snapshot(path), snapshot(path, follow=True)), before)
                finally:
                    bar.stop()
                    shutil.rmtree(rescues, True)

    def test_loading_a_pipe_as_text_is_refused_without_a_freeze(self):
        pipe = os.path.join(self.temp_dir("marglet-import-"), "incoming")
        os.mkfifo(pipe)
        folder = self.program_folder({"note01.qkn": b"keep me\r\n"})
        path = os.path.join(folder, "note01.qkn")
        before = snapshot(path)
        bar = self.run_bar(folder)
        self.expand(bar)
        bar.click(*LOAD_TEXT)

        def window(title):
            found = self.server.run("xdotool", "search", "--onlyvisible", "--name", title,
                                    check=False).split()
            return found[0] if found else None

        dialog = bar.wait_for(lambda: window("^Open$"), 5.0, "the Open dialog")
        self.server.run("xdotool", "windowfocus", "--sync", dialog, check=False)
        self.server.run("xdotool", "type", "--delay", "5", pipe)
        self.server.run("xdotool", "key", "Return")
        box = bar.wait_for(lambda: window("^Marglet QK$"), 5.0, "the load error")
        self.screenshot("faults_import_pipe.png", self.window_area(box))
        self.server.run("xdotool", "windowfocus", "--sync", box, check=False)
        self.server.run("xdotool", "key", "Return")
        bar.wait_for(lambda: not window("^Marglet QK$"), 5.0, "the load error to close")
        self.assertEqual(self.terminate(bar), 0, "nothing was left unsaved")
        self.assertEqual(snapshot(path), before)
        self.assertTrue(stat.S_ISFIFO(os.lstat(pipe).st_mode))
        # Like every other message, this one is printed too.
        self.assertIn("Error Loading Text File", bar.output())

    # --- the X server goes away ------------------------------------------------

    def test_text_typed_just_before_the_display_dies_is_saved(self):
        folder = self.program_folder()
        path = os.path.join(folder, "note01.qkn")
        bar = self.run_bar(folder)
        self.expand(bar)
        self.type_into(bar, 1, "display gone")
        self.assertIsNone(read(path), "killed before the autosave")
        self.server.proc.kill()
        status = bar.wait_exit()
        self.assertNotEqual(status, 0)
        self.assertEqual(read(path), b"display gone")

    # --- skin images far larger than the bar ---------------------------------------

    def test_huge_skin_images_are_refused_cheaply(self):
        magenta = (0xFF, 0x00, 0xFF)
        huge = one_colour_gif(5000, 5000, magenta)
        self.assertLess(len(huge), 200 * 1024)
        folder = self.program_folder({f"skins/Huge/{n}": huge for n in SKIN_FILES})
        bar = self.run_bar(folder, settings=settings_bytes(3840, 70, "Huge", 0))
        said = (r"marglet: These skin images are missing, cannot be read or are larger than the "
                r"bar:\n")
        self.wait_message(bar, said)
        for name in SKIN_FILES:
            self.assertIn(os.path.join(folder, "skins", "Huge", name), bar.output())
        time.sleep(0.5)  # proves the five are one message
        self.assertEqual(len(re.findall(said, bar.output())), 1, bar.output())
        self.assertEqual(len(bar.message_windows()), 1)
        # The peak too: one of these pictures decoded, even if dropped at
        # once, takes 100 MB by itself; the bar alone needs about 30.
        with open(f"/proc/{bar.pid()}/status") as f:
            status = f.read()
        for field in ("VmRSS", "VmHWM"):
            kb = int(re.search(field + r":\s+(\d+) kB", status).group(1))
            self.assertLess(kb, 100 * 1024, field)
        strip = self.server.pixels(BAR_LEFT, BAR_TOP, 185, 17)
        self.assertNotIn(magenta, [px for row in strip for px in row])
        close = self.server.pixels(*CLOSE_AREA)
        self.assertTrue(any(px != BAR_BLUE for row in close for px in row),
                        "the built-in images are shown")
        self.assertEqual(self.terminate(bar), 0)


if __name__ == "__main__":
    xharness.main()
