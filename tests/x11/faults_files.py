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

import os
import re
import shutil
import stat
import time

import xharness
from deskfaults import (MIB, DeskFaultCase, give_to_user, make_node, named, one_colour_gif,
                        snapshot)
from xharness import read_bytes as read, settings_bytes

CLOSE = (176, 8)
LOAD_TEXT = (92, 289)
OPTIONS = (53, 315)
BAR_LEFT, BAR_TOP = 1920 - 256, 5
CLOSE_AREA = (BAR_LEFT + 169, BAR_TOP + 1, 15, 15)
BAR_BLUE = (0x4D, 0x90, 0xFE)  # what the bar paints where no picture lies
AUTOSAVE = 2.0
STAMP = r"\d{4}-\d{2}-\d{2} \d{6}"
BOM = b"\xef\xbb\xbf"
SKIN_FILES = ("background.gif", "buttonarea.gif", "close.gif", "max.gif", "min.gif")


class DeskFaults(DeskFaultCase):
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
