# The real bar against a disk and a desk that let it down: full disks,
# refused folders, immutable, unreadable and special files, a lock it may not
# take, a dying X server, skin images far larger than the bar. Judged from
# outside: the bytes (and inode, times) of every file, what the bar printed
# and showed, and how it ended.
#
# Needs root (mounts, chattr, mknod, a second user): without it every case
# skips. Every mount and flag is undone when its case ends, passed or failed.

import contextlib
import hashlib
import itertools
import os
import re
import shutil
import signal
import stat
import struct
import subprocess
import tempfile
import time

import pytest

from harness import (CLOSE, OPEN, OPTIONS, TEST_USER as USER, WIDTH, Bar, copy_program,
                     ensure_test_user, read_bytes as read, settings_bytes, wait_for, write_bytes)

LOAD_TEXT = (92, 289)
AUTOSAVE, RETRY = 2.0, 15.0
FULL, STAMP = "the disk is full.", r"\d{4}-\d{2}-\d{2} \d{6}"
PIPE, DEVICE = "it is a named pipe, not a regular file.", "it is a device, not a regular file."
# Below the 16 KiB a buffered writer used to hold back (and lose) on a full
# disk, and far above it.
SMALL = b"shopping\r\nmilk, bread\r\n"
LARGE = b"".join(b"line %05d of a long note, kept byte for byte\r\n" % i for i in range(2200))
SETTINGS = settings_bytes(3840, 70, "Blue", 0)
FOLDER = {"note01.qkn": SMALL, "note02.qkn": LARGE, "settings.dat": SETTINGS}
SKIN_FILES = ("background.gif", "buttonarea.gif", "close.gif", "max.gif", "min.gif")

pytestmark = pytest.mark.skipif(os.geteuid() != 0, reason="needs root")


def run(*cmd):
    # Sets a fault up; skips where root may not do it here (a container
    # without the privilege).
    done = subprocess.run(cmd, capture_output=True, text=True, timeout=60)
    if done.returncode:
        pytest.skip(f"root may not {cmd[0]} here: {done.stderr.strip()}")


def notes_in(folder):
    return {n: read(os.path.join(folder, f"note0{n}.qkn")) for n in (1, 2, 3)}


def not_saved(path, reason):
    return f'marglet: Note 01 was not saved. Could not write "{path}": {reason}'


def snapshot(path, follow=False):
    """What a write, a replacement or a touch would change about a path."""
    st = os.stat(path) if follow else os.lstat(path)
    shot = [st.st_mode, st.st_ino, st.st_uid, st.st_rdev]
    if stat.S_ISREG(st.st_mode):
        shot += [st.st_size, st.st_mtime_ns, hashlib.sha256(read(path)).hexdigest()]
    elif stat.S_ISLNK(st.st_mode):
        shot.append(os.readlink(path))
    return shot


def said(bar, text, timeout=AUTOSAVE + 6):
    wait_for(lambda: text in bar.output(), timeout,
             lambda: f"the bar to say {text!r}; it said {bar.output()[-600:]!r}")


def message(bar):
    return wait_for(bar.message_windows, 5.0, "a message window")


def wait_file(path, data, timeout=AUTOSAVE + 4):
    wait_for(lambda: read(path) == data, timeout, f"{path} to hold ...{data[-40:]!r}")


def huge_gif(rgb):
    # A GIF whose 5000 x 5000 screen is all one colour: a few bytes that
    # decode to 100 MB.
    return (b"GIF89a" + struct.pack("<HHBBB", 5000, 5000, 0x80, 0, 0) + bytes(rgb) + b"\0\0\0"
            + b"," + struct.pack("<HHHHB", 0, 0, 5000, 5000, 0) + b"\x02\x02\x44\x01\x00;")


def make_node(path):
    # Always a node of our own: nothing here may point at the real /dev/null.
    run("mknod", path, "c", "1", "3")


def link_to_node(path):
    make_node(os.path.join(os.path.dirname(path), "..", "null"))
    os.symlink(os.path.join(os.path.dirname(path), "..", "null"), path)


def fill_blocks(disk):
    """Takes all free blocks of the disk; returns the filler."""
    filler = os.path.join(disk, "filler")
    st = os.statvfs(disk)
    subprocess.run(["fallocate", "-l", str(st.f_bavail * st.f_frsize), filler], check=True)
    assert os.statvfs(disk).f_bavail == 0, "the disk did not fill as planned"
    return filler


def use_up_inodes(disk):
    with contextlib.suppress(OSError):  # ENOSPC, once there are none left
        for n in itertools.count():
            open(os.path.join(disk, f"empty{n}"), "x").close()


class Desk:
    """Program folders under a fresh root, bars run there as root or as the
    ordinary test user, and an undo stack that ends the bars before what
    they stand on is unmounted."""

    def __init__(self, session, undo):
        self.session, self.undo = session, undo
        # Traversable by the second user all the way down.
        self.root = tempfile.mkdtemp(prefix="marglet-faults-")
        os.chmod(self.root, 0o755)
        undo.callback(shutil.rmtree, self.root, ignore_errors=True)
        self.data_home = os.path.join(self.root, "xdg")

    @property
    def user_folder(self):
        return os.path.join(self.data_home, "marglet")

    def path(self, *parts, owner=None, mode=0o755):
        path = os.path.join(self.root, *parts)
        os.makedirs(path, mode, exist_ok=True)
        if owner:
            shutil.chown(path, owner, owner)
        return path

    def folder(self, where=None, files=None):
        """A program folder as a user has it; `files` maps a relative name to
        bytes, or to a function making the file at the path it is given."""
        folder = where or self.path("Marglet")
        os.makedirs(folder, exist_ok=True)
        copy_program(folder)
        for name, data in (files or {}).items():
            path = os.path.join(folder, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with contextlib.suppress(FileNotFoundError):
                os.remove(path)  # a skin image that comes with the program
            data(path) if callable(data) else write_bytes(path, data)
        return folder

    def tmpfs(self, options=""):
        """A small disk that still holds the program."""
        where, measure = self.path("disk"), self.folder(self.path("measure"))
        size = sum(os.path.getsize(os.path.join(d, n)) for d, _, ns in os.walk(measure) for n in ns)
        run("mount", "-t", "tmpfs", "-o", f"size={size // 1024 + 8192}k{options}", "tmpfs", where)
        self.undo.callback(subprocess.run, ["umount", "-l", where])
        return where

    def start(self, folder, user=None, wait=True):
        env = {"XDG_DATA_HOME": self.data_home}
        if user:
            self.path("xdg", owner=user)
            env.update(HOME=self.path("home", owner=user),
                       XDG_RUNTIME_DIR=self.path("run", owner=user, mode=0o700))
        bar = Bar(self.session, folder, env=env, user=user, wait=wait)
        self.undo.callback(bar.kill)
        return bar

    def bars_on_screen(self):
        return [w for w in self.session.windows("QKS Marglet")
                if (self.session.geometry(w) or [0] * 4)[2] == WIDTH]

    def type_into(self, bar, text, note=1):
        """Types at the end of a note, as a user would after a click into it."""
        if bar.geometry()[3] != OPEN:
            bar.slide(OPEN)
        bar.type_into_pad(text, note)

    def key(self, wid, *keys):
        self.session.run("xdotool", "windowfocus", "--sync", str(wid), check=False)
        if keys:
            self.session.key(*keys)

    def answer(self, bar, known, keys):
        """Waits for a new message window, the question, and answers it."""
        question = wait_for(lambda: set(bar.message_windows()) - set(known), 5.0,
                            "the question").pop()
        self.key(question, keys)
        return question


@pytest.fixture
def desk(session):
    with contextlib.ExitStack() as undo:
        yield Desk(session, undo)


@pytest.fixture(scope="module")
def user():
    made = ensure_test_user()
    yield USER
    if made:
        subprocess.run(["userdel", USER], capture_output=True)


class TestDisk:
    # Whether a write cut short anywhere keeps the old file is the disk
    # file's unit tests' (tests/core); here the whole way on a real disk.
    def test_a_full_disk_keeps_the_old_note_and_saves_when_room_comes_back(self, desk):
        disk = desk.tmpfs()
        bar = desk.start(desk.folder(os.path.join(disk, "Marglet"), {"note01.qkn": SMALL}))
        filler, path = fill_blocks(disk), bar.path("note01.qkn")
        before = sorted(os.listdir(bar.folder))
        desk.type_into(bar, " and eggs")
        said(bar, not_saved(path, FULL))
        assert "Your text is kept in the bar, which tries again every 15 seconds." in bar.output()
        message(bar)
        assert read(path) == SMALL, "the old note is kept byte for byte"
        assert sorted(os.listdir(bar.folder)) == before, "nothing left behind"
        # A failing retry must not tell again; that it ran at all shows
        # below, where a later one writes the note.
        time.sleep(RETRY + 1.5)
        assert read(path) == SMALL
        os.remove(filler)
        wait_file(path, SMALL + b" and eggs", RETRY + 2)
        assert bar.output().count("Note 01 was not saved.") == 1, "told once"
        assert len(bar.message_windows()) == 1 and bar.proc.poll() is None

    # A rescue on a disk as full as the note's fails too; SIGTERM rescues
    # without asking. What the user answers and a rescue that works are the
    # closing's unit tests' (tests/app).
    @pytest.mark.parametrize("immutable", [False, True],
                             ids=["full disk, rescue folder too", "immutable, SIGTERM"])
    def test_a_note_that_cannot_be_saved_is_rescued_when_the_bar_ends(self, desk, immutable):
        if immutable:
            folder = desk.folder(files={"note01.qkn": SMALL})
            run("chattr", "+i", os.path.join(folder, "note01.qkn"))
            desk.undo.callback(subprocess.run, ["chattr", "-i", os.path.join(folder, "note01.qkn")])
            reason = "it is protected against changes."
        else:
            disk = desk.tmpfs()
            folder = desk.folder(os.path.join(disk, "Marglet"), {"note01.qkn": SMALL})
            desk.data_home, reason = os.path.join(disk, "xdg"), FULL
        bar = desk.start(folder)
        if not immutable:
            fill_blocks(disk)
        path, before = bar.path("note01.qkn"), sorted(os.listdir(folder))
        desk.type_into(bar, "!")
        said(bar, not_saved(path, reason))
        warning = message(bar)
        assert sorted(os.listdir(folder)) == before, "nothing left behind"
        if immutable:
            os.kill(bar.pid(), signal.SIGTERM)
        else:
            # Escape keeps the bar and the text; Rescue fails, and the bar
            # asks again, now to close without saving.
            bar.click(*CLOSE)
            question = desk.answer(bar, warning, "Escape")
            wait_for(lambda: question not in bar.message_windows(), 3.0, "the question to go")
            time.sleep(0.5)
            assert bar.proc.poll() is None, "Escape keeps the bar open"
            bar.click(*CLOSE)
            question = desk.answer(bar, warning, "alt+r")
            desk.answer(bar, warning + [question], "alt+c")
        assert bar.wait_exit() == 1, "the exit status tells of the unsaved note"
        assert read(path) == SMALL, "the note file is left as it was"
        rescued = os.listdir(desk.user_folder) if os.path.isdir(desk.user_folder) else []
        assert len(rescued) == immutable, rescued
        if immutable:
            kept = os.path.join(desk.user_folder, rescued[0])
            assert re.fullmatch(rf"note01 \(rescued {STAMP}\)\.txt", rescued[0])
            assert read(kept) == SMALL + b"!"
            assert "marglet: unsaved notes kept in " + kept in bar.output()

    @pytest.mark.parametrize("options, fill", [("", fill_blocks), (",nr_inodes=64", use_up_inodes)],
                             ids=["no free blocks", "no free inodes"])
    def test_a_full_program_folder_stays_in_use_and_locked(self, desk, options, fill):
        disk = desk.tmpfs(options)
        folder = desk.folder(os.path.join(disk, "Marglet"), FOLDER)
        fill(disk)
        bar = desk.start(folder)
        said(bar, f'marglet: There is no room in Marglet\'s folder "{folder}": {FULL}')
        message(bar)
        assert not os.path.exists(desk.user_folder), "nothing moved away"
        desk.type_into(bar, "x")
        said(bar, not_saved(bar.path("note01.qkn"), FULL))
        assert notes_in(folder) == {1: SMALL, 2: LARGE, 3: None} and bar.proc.poll() is None
        # However it had to lock the folder, room coming back must not let a
        # second bar in on the same notes.
        for entry in os.scandir(disk):
            if entry.is_file():
                os.remove(entry.path)
        second = desk.start(folder, wait=False)
        assert second.wait_exit(5) == 0, "a second bar stays away; it said " + second.output()
        assert f"already running for {folder}" in second.output()
        assert desk.bars_on_screen() == [bar.wid]

    # Where the notes went is said as the unit tests of the folders check
    # (tests/core); what was copied, here.
    @pytest.mark.parametrize("as_user, reason", [
        pytest.param(False, "the disk can only be read, not written (it is mounted read-only).",
                     id="read-only mount"),
        pytest.param(True, "you do not have permission.", id="root's folder")])
    def test_a_refused_program_folder_moves_the_notes_to_the_user_folder_once(
            self, desk, request, as_user, reason):
        old = {1: SMALL, 2: LARGE, 3: None}
        folder = desk.folder(files=FOLDER)
        if not as_user:
            run("mount", "--bind", folder, folder)
            desk.undo.callback(subprocess.run, ["umount", "-l", folder])
            run("mount", "-o", "remount,bind,ro", folder)
        bar = desk.start(folder, user=request.getfixturevalue("user") if as_user else None)
        said(bar, f'marglet: Marglet cannot write in its program folder "{folder}": {reason}')
        assert "These files were copied there from the program folder: settings.dat, " \
            "note01.qkn, note02.qkn." in bar.output()
        message(bar)
        assert notes_in(desk.user_folder) == old
        assert read(os.path.join(desk.user_folder, "settings.dat")) == SETTINGS
        desk.type_into(bar, "k")
        wait_file(os.path.join(desk.user_folder, "note01.qkn"), SMALL + b"k")
        assert bar.stop() == 0, "everything was saved"
        assert notes_in(folder) == old, "the program folder is left alone"

    @pytest.mark.parametrize("lockable", [True, False],
                             ids=["the folder's own lock serves", "nothing to lock: said, no bar"])
    def test_one_bar_per_folder_whatever_the_user_may_lock(self, desk, user, lockable):
        # A lock file root left that the user may not open; without read
        # access to the folder there is nothing left to lock either.
        folder = desk.folder(files={"note01.qkn": SMALL, ".marglet.lock": b""})
        shutil.chown(folder, user, user)
        os.chmod(os.path.join(folder, ".marglet.lock"), 0o600)
        os.chmod(folder, 0o755 if lockable else 0o300)
        if lockable:
            first = desk.start(folder, user=user)
            second = desk.start(folder, user=user, wait=False)
            assert second.wait_exit(5) == 0, "a second bar stays away"
            assert f"already running for {folder}" in second.output()
            assert not os.path.exists(desk.user_folder), "both used the program folder"
            assert first.proc.poll() is None and desk.bars_on_screen() == [first.wid]
        else:
            bar = desk.start(folder, user=user, wait=False)
            said(bar, "marglet: Marglet cannot make sure that it is the only bar using the notes "
                      f'in "{folder}".')
            assert desk.bars_on_screen() == [], "no bar"
            desk.key(message(bar)[0], "Return")
            assert bar.wait_exit() == 1
        os.chmod(folder, 0o755)
        assert notes_in(folder) == {1: SMALL, 2: None, 3: None}


class TestFiles:
    def test_unreadable_notes_stay_untouched_and_are_kept_before_their_first_save(self, desk, user):
        def sparse(path):
            open(path, "wb").close()
            os.truncate(path, 65 << 20)

        def root_only(path):
            write_bytes(path, b"private\r\n")
            os.chmod(path, 0o600)

        # note: how its file is made, the reason the bar gives, what is typed
        cases = {1: (sparse, "it is larger than 64 MiB.", "big"),
                 2: (b"line one\r\n\x00\x01binary\r\n", "it does not look like a text file.", "nul"),
                 3: (root_only, "you do not have permission.", "perm")}
        folder = desk.folder()
        paths = {n: os.path.join(folder, f"note0{n}.qkn") for n in cases}
        subprocess.run(["chown", "-R", f"{user}:{user}", folder, desk.path("xdg")], check=True)
        for n, (make, _, _) in cases.items():
            make(paths[n]) if callable(make) else write_bytes(paths[n], make)
        subprocess.run(["chown", f"{user}:{user}", paths[1], paths[2]], check=True)
        before = {n: snapshot(p) for n, p in paths.items()}

        # Shown empty, said, and left alone even by a close without edits.
        bar = desk.start(folder, user=user)
        for n, (_, reason, _) in cases.items():
            said(bar, f'marglet: Note 0{n} could not be read. Could not read "{paths[n]}": '
                      + reason)
        assert bar.output().count("It shows empty. Its file is left as it is, and is kept under "
                                  "another name before this note is first saved.") == 3
        message(bar)
        bar.click(*CLOSE)
        assert bar.wait_exit() == 0
        assert {n: snapshot(p) for n, p in paths.items()} == before
        assert not [n for n in os.listdir(folder) if "could not be read" in n]

        # Typed into: the original is kept under its own name at the autosave.
        bar = desk.start(folder, user=user)
        for n, (_, _, typed) in cases.items():
            desk.type_into(bar, typed, note=n)
        for n, (_, _, typed) in cases.items():
            wait_file(paths[n], typed.encode())
            kept = [k for k in os.listdir(folder)
                    if re.fullmatch(rf"note0{n} \(could not be read {STAMP}\)\.qkn", k)]
            assert len(kept) == 1, os.listdir(folder)
            assert snapshot(os.path.join(folder, kept[0])) == before[n], "kept byte for byte"
            said(bar, f"marglet: The file Note 0{n} could not be read from is kept as "
                      f'"{os.path.join(folder, kept[0])}"')
        assert bar.proc.poll() is None

    def test_each_note_keeps_its_encoding_after_one_key(self, desk):
        notes = {1: "café\r\n".encode(),  # UTF-8 another editor wrote, no mark
                 2: b"\xef\xbb\xbf" + "café ✓\r\n".encode(),  # our own UTF-8
                 3: "café\r\n".encode("cp1252")}  # the old format
        bar = desk.start(desk.folder(files={f"note0{n}.qkn": b for n, b in notes.items()}))
        for n in notes:
            desk.type_into(bar, "x", note=n)
        for n, old in notes.items():
            wait_file(bar.path(f"note0{n}.qkn"), old + b"x")
        assert bar.stop() == 0

    # Where the file is, how it is made, what the bar says of it (None:
    # nothing) and whether Options is opened (it lists every skin folder).
    # Device notes are typed into too: the save must refuse them as well.
    @pytest.mark.parametrize("where, make, says, options", [
        ("note01.qkn", os.mkfifo, 'Note 01 could not be read. Could not read "{}": ' + PIPE, 0),
        ("settings.dat", os.mkfifo, 'Could not read "{}": ' + PIPE, 0),
        ("skins/Blue/close.gif", os.mkfifo, "These skin images are missing, cannot be read or are "
                                            "larger than the bar:\n{}\n", 0),
        ("skins/Other/background.gif", os.mkfifo, None, 1),
        ("note01.qkn", make_node, 'Note 01 could not be read. Could not read "{}": ' + DEVICE, 0),
        ("note01.qkn", link_to_node, 'Note 01 could not be read. Could not read "{}": ' + DEVICE,
         0)], ids=["pipe note", "pipe settings", "pipe skin image", "pipe in another skin",
                   "device note", "link to a device"])
    def test_special_files_where_files_belong_neither_hang_nor_get_written(
            self, desk, where, make, says, options):
        files = {where: make}
        if options:
            files.update({f"skins/Other/{n}": b"" for n in SKIN_FILES[1:]})
        folder = desk.folder(files=files)
        path = os.path.join(folder, where)
        before = snapshot(path), snapshot(path, follow=True)
        # A bar that opened a pipe waits on it for good: its window never comes.
        bar = desk.start(folder)
        device = DEVICE in (says or "")
        if says:
            said(bar, "marglet: " + says.format(path))
            message(bar)
        if options:
            desk.type_into(bar, "")
            bar.click(*OPTIONS)
            wait_for(lambda: bar.windows("QKS Marglet Options"), 5.0, "the Options window")
            assert "marglet:" not in bar.output()
        if device:
            desk.type_into(bar, "x")
            said(bar, f'marglet: Note 01 was not saved. "{path}" is a device, not a regular file')
        assert bar.stop() == device
        assert (snapshot(path), snapshot(path, follow=True)) == before, "left as it was"

    def test_loading_a_pipe_as_text_is_refused_without_a_freeze(self, desk):
        pipe = os.path.join(desk.path("import"), "incoming")
        os.mkfifo(pipe)
        folder = desk.folder(files={"note01.qkn": b"keep me\r\n"})
        before = snapshot(os.path.join(folder, "note01.qkn"))
        bar = desk.start(folder)
        desk.type_into(bar, "")
        bar.click(*LOAD_TEXT)
        desk.key(wait_for(lambda: bar.windows("Open"), 5.0, "the Open dialog")[0])
        desk.session.type_text(pipe)
        desk.session.key("Return")
        box = wait_for(lambda: bar.windows("Marglet QK"), 5.0, "the load error")
        desk.key(box[0], "Return")
        wait_for(lambda: not bar.windows("Marglet QK"), 5.0, "the load error to close")
        assert bar.stop() == 0, "nothing was left unsaved"
        assert snapshot(os.path.join(folder, "note01.qkn")) == before
        assert stat.S_ISFIFO(os.lstat(pipe).st_mode)
        assert "Error Loading Text File" in bar.output(), "printed as every message is"

    def test_text_typed_just_before_the_display_dies_is_saved(self, make_session):
        with contextlib.ExitStack() as undo:  # a display of its own, killed here
            desk = Desk(make_session(), undo)
            bar = desk.start(desk.folder())
            desk.type_into(bar, "display gone")
            assert bar.file("note01.qkn") is None, "killed before the autosave"
            desk.session.server.kill()
            assert bar.wait_exit() != 0
            assert bar.file("note01.qkn") == b"display gone"

    # The built-in images that stand in for them are the skins' unit tests'
    # (tests/settings); a bar that decoded one, even for a moment, shows here.
    def test_huge_skin_images_are_refused_cheaply(self, desk):
        folder = desk.folder(files={f"skins/Huge/{n}": huge_gif((255, 0, 255)) for n in SKIN_FILES})
        write_bytes(os.path.join(folder, "settings.dat"), settings_bytes(3840, 70, "Huge", 0))
        bar = desk.start(folder)
        told = "marglet: These skin images are missing, cannot be read or are larger than " \
               "the bar:\n"
        said(bar, told)
        for name in SKIN_FILES:
            assert os.path.join(folder, "skins", "Huge", name) in bar.output()
        time.sleep(0.5)  # proves the five are one message
        assert bar.output().count(told) == 1 and len(bar.message_windows()) == 1
        # The peak too: one of these pictures decoded, even if dropped at
        # once, takes 100 MB by itself; the bar alone needs about 30.
        status = read(f"/proc/{bar.pid()}/status").decode()
        for field in ("VmRSS", "VmHWM"):
            assert int(re.search(field + r":\s+(\d+) kB", status).group(1)) < 100 * 1024, field
        assert bar.stop() == 0
