"""The real bar against a disk that lets it down: full, out of inodes,
read-only, not its user's, a note file nobody may replace, a lock another
user left behind. Judged from outside only: the bytes of every note file,
what the bar told (its stderr and its message windows), and how it ended.

Needs root: it mounts, sets the immutable flag and runs bars as a second
user. Everything it sets up is undone by cleanups that run even when a
test fails.
"""

import os
import re
import shutil
import signal
import subprocess
import time
import unittest

import xharness
from diskfaults import (DiskFaultCase, bind_read_only, exit_status, fill_blocks, free_room,
                        make_immutable, mount_tmpfs, not_saved, notes_in, program_folder, said,
                        use_up_inodes, wait_file, wait_said, write)
from xharness import read_bytes as read, settings_bytes

CLOSE = (176, 8)
AUTOSAVE = 2.0
RETRY = 15.0
USER = xharness.TEST_USER
FULL = "the disk is full."
RESCUED = re.compile(r"note01 \(rescued \d{4}-\d{2}-\d{2} \d{6}\)\.txt$")
# Below the 16 KiB a buffered writer used to hold back (and lose) on a full
# disk, and far above it.
SMALL = b"shopping\r\nmilk, bread\r\n"
LARGE = b"".join(b"line %05d of a long note, kept byte for byte\r\n" % i
                 for i in range(2200))  # about 100 KiB
SETTINGS = settings_bytes(3840, 70, "Blue", 0)

created_user = False


def setUpModule():
    global created_user
    if os.geteuid() != 0:
        raise unittest.SkipTest("needs root: mounts, chattr +i and a second user")
    created_user = xharness.ensure_test_user()


def tearDownModule():
    if created_user:
        subprocess.run(["userdel", USER], capture_output=True)


class Faults(DiskFaultCase):
    # -- a disk that fills up while the bar runs -----------------------------

    def full_disk_bar(self, note, leave=0, rescue_on_disk=False):
        disk = mount_tmpfs(self.undo, self.path("disk"), "")
        folder = program_folder(os.path.join(disk, "Marglet"), {1: note})
        if rescue_on_disk:
            self.data_home = os.path.join(disk, "xdg")
            self.user_folder = os.path.join(self.data_home, "marglet")
        bar = self.start_bar(folder)
        return bar, fill_blocks(disk, leave)

    def test_a_full_disk_keeps_the_old_note_and_saves_when_room_comes_back(self):
        rows = [
            # old note, room left on the disk, wait for a retry before freeing
            ("small note, no room", SMALL, 0, True),
            ("100 KiB note, room for part of it", LARGE, 64 * 1024, False),
        ]
        for name, old, leave, sit_out_a_retry in rows:
            with self.row(name):
                bar, filler = self.full_disk_bar(old, leave)
                path = bar.file("note01.qkn")
                before = sorted(os.listdir(bar.folder))
                self.append(bar, " and eggs")
                wait_said(bar, not_saved(path, FULL), AUTOSAVE + 4)
                self.assertIn("Your text is kept in the bar, which tries again every 15 seconds.",
                              bar.output())
                bar.wait_for(lambda: len(bar.message_windows()) == 1, 3.0, "the warning")
                self.assertEqual(read(path), old, "the old note is kept byte for byte")
                self.assertEqual(sorted(os.listdir(bar.folder)), before, "nothing left behind")
                if sit_out_a_retry:
                    # A failing retry must not tell again. That it ran at all
                    # shows below: the note is written only by a later one.
                    time.sleep(RETRY + 1.5)
                    self.assertEqual(said(bar, "Note 01 was not saved."), 1, "told once")
                    self.assertEqual(len(bar.message_windows()), 1, "one window")
                    self.assertEqual(read(path), old)
                os.remove(filler)
                wait_file(bar, path, old + b" and eggs", RETRY + 2)
                self.assertEqual(said(bar, "Note 01 was not saved."), 1)
                self.assertIsNone(bar.proc.poll())

    def test_closing_on_a_full_disk_asks_and_can_rescue_the_text(self):
        rows = [
            # the rescue folder on the full disk too
            ("rescue file", False),
            ("rescue folder full too", True),
        ]
        for name, rescue_full in rows:
            with self.row(name):
                bar, _ = self.full_disk_bar(SMALL, rescue_on_disk=rescue_full)
                path = bar.file("note01.qkn")
                self.append(bar, "!")
                wait_said(bar, not_saved(path, FULL), AUTOSAVE + 4)
                warning = set(bar.wait_for(bar.message_windows, 3.0, "the warning"))

                # Escape keeps the bar and the text.
                bar.click(*CLOSE)
                question = self.answer(bar, warning, "Escape")
                bar.wait_for(lambda: question not in bar.message_windows(), 3.0,
                             "the question to go")
                time.sleep(0.5)
                self.assertIsNone(bar.proc.poll(), "Escape keeps the bar open")

                bar.click(*CLOSE)
                question = self.answer(bar, warning, "alt+r")
                if rescue_full:
                    # Asked again, now offering to close without saving.
                    self.answer(bar, warning | {question}, "alt+c")
                self.assertEqual(bar.wait_exit(), 1)
                self.assertEqual(read(path), SMALL, "the note file is left as it was")
                rescued = self.rescue_files()
                if rescue_full:
                    self.assertEqual(rescued, {})
                else:
                    self.assertEqual(len(rescued), 1, rescued)
                    file, data = rescued.popitem()
                    self.assertRegex(file, RESCUED)
                    self.assertEqual(data, SMALL + b"!")
                    self.assertIn("marglet: unsaved notes kept in", bar.output())

    # -- a program folder that is full before the bar starts -------------------

    def test_a_full_program_folder_stays_in_use(self):
        rows = [
            # mount options, how it fills, a lock file left by an earlier bar
            ("no free blocks", "", fill_blocks, False),
            ("no free inodes, used before", ",nr_inodes=64", use_up_inodes, True),
            ("no free inodes, first start", ",nr_inodes=64", use_up_inodes, False),
        ]
        for name, options, fill, used_before in rows:
            with self.row(name):
                disk = mount_tmpfs(self.undo, self.path("disk"), options)
                folder = program_folder(os.path.join(disk, "Marglet"), {1: SMALL, 2: LARGE},
                                        SETTINGS)
                if used_before:
                    write(os.path.join(folder, ".marglet.lock"), b"")
                fill(disk)
                bar = self.start_bar(folder, wait=False)
                wait_said(bar, "marglet: ")
                self.assertIn(f"marglet: There is no room in Marglet's folder \"{folder}\": "
                              f"{FULL}", bar.output())
                bar.wid = bar.wait_for(lambda: self.bars_on_screen(bar), 10.0, "the bar")[0]
                bar.wait_for(lambda: len(bar.message_windows()) == 1, 3.0, "the warning")
                self.assertFalse(os.path.exists(self.user_folder), "nothing moved away")
                self.append(bar, "x")
                wait_said(bar, not_saved(bar.file("note01.qkn"), FULL), AUTOSAVE + 4)
                self.assertEqual(notes_in(folder), {1: SMALL, 2: LARGE, 3: None})
                self.assertIsNone(bar.proc.poll())

                # However it had to lock the folder, room coming back must not
                # let a second bar in on the same notes.
                free_room(disk)
                second = self.start_bar(folder, wait=False)
                self.assertEqual(exit_status(second, 5), 0, "a second bar stays away; it said "
                                 + repr(second.output()))
                self.assertIn(f"already running for {folder}", second.output())
                self.assertEqual(self.bars_on_screen(bar), [bar.wid])

    # -- a program folder the bar may not write --------------------------------

    def test_a_refused_program_folder_moves_the_notes_to_the_user_folder_once(self):
        def read_only(folder):
            bind_read_only(self.undo, folder)

        def root_owned(folder):
            os.chmod(folder, 0o755)  # owned by root: others may only read

        rows = [
            ("read-only mount", read_only, None,
             "the disk can only be read, not written (it is mounted read-only)."),
            ("not the user's folder", root_owned, USER, "you do not have permission."),
        ]
        for name, refuse, user, reason in rows:
            with self.row(name):
                old = {1: SMALL, 2: LARGE, 3: None}
                folder = program_folder(self.path("Marglet"), old, SETTINGS)
                refuse(folder)
                bar = self.start_bar(folder, user=user)
                wait_said(bar, f'marglet: Marglet cannot write in its program folder '
                               f'"{folder}": {reason}')
                told = bar.output()
                self.assertIn(f'Your notes and settings are kept in "{self.user_folder}" '
                              'instead.', told)
                self.assertIn("These files were copied there from the program folder: "
                              "settings.dat, note01.qkn, note02.qkn.", told)
                bar.wait_for(lambda: len(bar.message_windows()) == 1, 3.0, "the notice")
                self.assertEqual(notes_in(self.user_folder), old)
                self.assertEqual(read(os.path.join(self.user_folder, "settings.dat")), SETTINGS)

                self.append(bar, "k")
                wait_file(bar, os.path.join(self.user_folder, "note01.qkn"), SMALL + b"k",
                          AUTOSAVE + 4)
                os.kill(bar.pid(), signal.SIGTERM)
                self.assertEqual(bar.wait_exit(), 0, "everything was saved")

                again = self.start_bar(folder, user=user)
                time.sleep(1.0)  # the notice would be out by now
                self.assertNotIn("cannot write in its program folder", again.output())
                self.assertEqual(again.message_windows(), [])
                self.assertEqual(notes_in(self.user_folder), {1: SMALL + b"k", 2: LARGE, 3: None},
                                 "a second start copies nothing over the user's notes")
                self.assertEqual(notes_in(folder), old, "the program folder is left alone")

    # -- a note file that cannot be replaced -----------------------------------

    def test_an_immutable_note_is_rescued_when_the_bar_is_ended(self):
        folder = program_folder(self.path("Marglet"), {1: SMALL})
        path = os.path.join(folder, "note01.qkn")
        make_immutable(self.undo, path)
        bar = self.start_bar(folder)
        before = sorted(os.listdir(folder))
        self.append(bar, "more")
        wait_said(bar, not_saved(path, "it is protected against changes."), AUTOSAVE + 4)
        bar.wait_for(lambda: len(bar.message_windows()) == 1, 3.0, "the warning")
        self.assertEqual(read(path), SMALL)
        self.assertEqual(sorted(os.listdir(folder)), before, "nothing left behind")
        bar.proc.send_signal(signal.SIGTERM)
        self.assertNotEqual(bar.wait_exit(), 0, "the exit status tells of the unsaved note")
        self.assertEqual(read(path), SMALL)
        rescued = self.rescue_files()
        self.assertEqual(len(rescued), 1, rescued)
        file, data = rescued.popitem()
        self.assertRegex(file, RESCUED)
        self.assertEqual(data, SMALL + b"more")

    # -- the running lock ------------------------------------------------------

    def lock_folder(self, mode):
        """A folder the test user may write, with a lock file root left there."""
        folder = program_folder(self.path("Marglet"), {1: SMALL})
        shutil.chown(folder, USER, USER)
        lock = os.path.join(folder, ".marglet.lock")
        write(lock, b"")
        os.chmod(lock, mode)
        return folder

    def test_one_bar_per_folder_whatever_the_user_may_lock(self):
        rows = [
            # lock file mode, folder mode, whether a first bar runs
            ("a lock file root left readable", 0o644, 0o755, True),
            ("a lock file the user cannot open: the folder's own lock serves",
             0o600, 0o755, True),
            ("nothing the user can lock: said, and no bar starts", 0o600, 0o300, False),
        ]
        for name, lock_mode, folder_mode, runs in rows:
            with self.row(name):
                folder = self.lock_folder(lock_mode)
                os.chmod(folder, folder_mode)
                if runs:
                    first = self.start_bar(folder, user=USER)
                    second = self.start_bar(folder, user=USER, wait=False)
                    self.assertEqual(exit_status(second, 5), 0, "a second bar stays away")
                    self.assertIn(f"already running for {folder}", second.output())
                    self.assertFalse(os.path.exists(self.user_folder),
                                     "both used the program folder")
                    self.assertIsNone(first.proc.poll(), "the first bar runs on")
                    self.assertEqual(self.bars_on_screen(first), [first.wid],
                                     "one bar on the screen")
                else:
                    bar = self.start_bar(folder, user=USER, wait=False)
                    wait_said(bar, "marglet: Marglet cannot make sure that it is the only bar "
                                   f'using the notes in "{folder}".')
                    box = bar.wait_for(bar.message_windows, 5.0, "the message")
                    self.assertEqual(self.bars_on_screen(bar), [], "no bar")
                    self.server.run("xdotool", "windowfocus", "--sync", str(box[0]), check=False)
                    self.server.run("xdotool", "key", "Return")
                    self.assertEqual(bar.wait_exit(), 1)
                os.chmod(folder, 0o755)
                self.assertEqual(notes_in(folder), {1: SMALL, 2: None, 3: None})


if __name__ == "__main__":
    xharness.main()
