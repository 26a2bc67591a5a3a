"""What the disk fault suite (faults_disk.py) stands on: small disks mounted,
filled and made read-only, immutable files, program folders as a user has
them, and a test case whose every row gets its own root folder and undo
stack, with bars run as root or as the ordinary test user.
"""

import contextlib
import errno
import os
import shutil
import signal
import subprocess
import tempfile

import xharness
from xharness import XTestCase, read_bytes as read

MAXMIN = (159, 8)
PAD = (60, 100)
EXPANDED = 343


def run(*cmd):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, timeout=60).stdout


def unmount(where):
    if subprocess.run(["umount", where], capture_output=True).returncode != 0:
        subprocess.run(["umount", "-l", where], capture_output=True)


# Each takes the ExitStack that undoes it.
def mount_tmpfs(undo, where, options):
    """A small disk that still holds the program (larger when instrumented)."""
    program = sum(os.path.getsize(os.path.join(dirpath, name))
                  for folder in (os.path.dirname(xharness.ARGS.binary), xharness.ARGS.skins)
                  for dirpath, _, names in os.walk(folder) for name in names
                  if folder == xharness.ARGS.skins or name == "marglet"
                  or name.startswith(("marglet_", "libmarglet_")))
    options = f"size={program // 1024 + 8192}k" + options
    xharness.require("mount")
    os.makedirs(where, exist_ok=True)
    run("mount", "-t", "tmpfs", "-o", options, "tmpfs", where)
    undo.callback(unmount, where)
    return where


def bind_read_only(undo, folder):
    xharness.require("mount")
    run("mount", "--bind", folder, folder)
    undo.callback(unmount, folder)
    run("mount", "-o", "remount,bind,ro", folder)


def make_immutable(undo, path):
    xharness.require("chattr")
    run("chattr", "+i", path)
    undo.callback(subprocess.run, ["chattr", "-i", path], capture_output=True)


def fill_blocks(disk, leave=0):
    """Takes all free blocks of the disk but `leave` bytes; returns the filler."""
    filler = os.path.join(disk, "filler")
    stat = os.statvfs(disk)
    run("fallocate", "-l", str(stat.f_bavail * stat.f_frsize - leave), filler)
    stat = os.statvfs(disk)
    assert stat.f_bavail * stat.f_frsize == leave, "the disk did not fill as planned"
    return filler


def use_up_inodes(disk):
    for n in range(100000):
        try:
            open(os.path.join(disk, f"empty{n}"), "x").close()
        except OSError as e:
            if e.errno == errno.ENOSPC:
                return
            raise
    raise AssertionError("the disk never ran out of inodes")


def free_room(disk):
    """Undoes fill_blocks and use_up_inodes."""
    for entry in os.scandir(disk):
        if entry.is_file():
            os.remove(entry.path)


def program_folder(folder, notes=None, settings=None):
    """A program folder as a user would have it: the program and its notes."""
    os.makedirs(folder, exist_ok=True)
    xharness.copy_program(folder)
    for note, data in (notes or {}).items():
        if data is not None:
            write(os.path.join(folder, f"note0{note}.qkn"), data)
    if settings is not None:
        write(os.path.join(folder, "settings.dat"), settings)
    return folder


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def notes_in(folder):
    return {n: read(os.path.join(folder, f"note0{n}.qkn")) for n in (1, 2, 3)}


def said(bar, text):
    return bar.output().count(text)


def wait_said(bar, text, timeout=8.0):
    try:
        bar.wait_for(lambda: said(bar, text), timeout)
    except AssertionError:
        raise AssertionError(f"the bar did not say {text!r}; it said "
                             f"{bar.output()[-600:]!r}") from None


def wait_file(bar, path, data, timeout):
    try:
        bar.wait_for(lambda: read(path) == data, timeout, "the note on disk")
    except AssertionError:
        found = read(path)
        raise AssertionError(f"{path} holds {len(found or b'')} bytes ending "
                             f"{(found or b'')[-40:]!r}, not the {len(data)} ending "
                             f"{data[-40:]!r}; the bar said {bar.output()[-600:]!r}") from None


def exit_status(bar, timeout):
    """The bar's exit status, or None while it still runs after `timeout`."""
    try:
        return bar.wait_exit(timeout)
    except subprocess.TimeoutExpired:
        return None


def not_saved(path, reason=""):
    return f'marglet: Note 01 was not saved. Could not write "{path}": {reason}'


class DiskFaultCase(XTestCase):
    """Every test or case row gets a fresh root folder and its own undo stack;
    bars are stopped before what they stand on is unmounted."""

    def setUp(self):
        super().setUp()
        self.undo = contextlib.ExitStack()
        self.addCleanup(self.undo.close)
        self.fresh(self.undo)

    def fresh(self, undo):
        # Traversable by the second user all the way down.
        self.root = tempfile.mkdtemp(prefix="marglet-faults-")
        os.chmod(self.root, 0o755)
        undo.callback(shutil.rmtree, self.root, ignore_errors=True)
        self.data_home = os.path.join(self.root, "xdg")
        self.user_folder = os.path.join(self.data_home, "marglet")

    @contextlib.contextmanager
    def row(self, name):
        outer = self.undo
        with self.subTest(name), contextlib.ExitStack() as undo:
            self.undo = undo
            self.fresh(undo)
            try:
                yield
            finally:
                self.undo = outer

    def stop_bar(self, bar):
        # runuser does not take its child along when it is killed.
        if bar.proc.poll() is None and bar.pid() != bar.proc.pid:
            with contextlib.suppress(ProcessLookupError):
                os.kill(bar.pid(), signal.SIGKILL)
        bar.stop()

    def path(self, *parts, owner=None, mode=0o755):
        path = os.path.join(self.root, *parts)
        os.makedirs(path, exist_ok=True)
        os.chmod(path, mode)
        if owner:
            shutil.chown(path, owner, owner)
        return path

    def start_bar(self, folder, user=None, **kwargs):
        env = {"XDG_DATA_HOME": self.data_home}
        if user:
            self.path("xdg", owner=user)
            env["HOME"] = self.path("home", owner=user)
            env["XDG_RUNTIME_DIR"] = self.path("run", owner=user, mode=0o700)
        bar = self.start(folder=folder, env=env, user=user, **kwargs)
        self.undo.callback(self.stop_bar, bar)
        return bar

    def bars_on_screen(self, bar):
        found = self.server.run("xdotool", "search", "--onlyvisible", "--name", "^QKS Marglet$",
                                check=False).split()
        return [int(w) for w in found if bar.width_of(w) == xharness.Bar.WIDTH]

    def append(self, bar, text):
        """Types at the end of note 1, as a user would after a click into it."""
        if bar.geometry()[3] != EXPANDED:
            bar.click(*MAXMIN)
            bar.wait_for(lambda: bar.geometry()[3] == EXPANDED, 2.0, "the expanded bar")
        bar.click(*PAD)
        self.server.run("xdotool", "windowfocus", "--sync", str(bar.wid), check=False)
        self.server.run("xdotool", "key", "ctrl+End")
        self.server.run("xdotool", "type", "--delay", "5", text)

    def answer(self, bar, known, keys):
        """Waits for a new message window, the question, and answers it."""
        question = bar.wait_for(lambda: set(bar.message_windows()) - known, 5.0,
                                "the question")
        question = question.pop()
        self.server.run("xdotool", "windowfocus", "--sync", str(question), check=False)
        self.server.run("xdotool", "key", keys)
        return question

    def rescue_files(self):
        if not os.path.isdir(self.user_folder):
            return {}
        return {name: read(os.path.join(self.user_folder, name))
                for name in os.listdir(self.user_folder) if name.startswith("note0")}
