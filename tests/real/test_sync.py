"""Two desks whose program folders Syncthing keeps in step, each bar on an X
server of its own, driven from outside as a user with two computers would.

Syncthing runs twice on this machine, over loopback only (no discovery,
relays or NAT), watching its folder with a 1 s delay and sharing only the
note files; its REST API says when the two are connected. Only a machine
where Syncthing cannot run skips: `make test` installs it.
"""

import copy
import json
import os
import re
import shutil
import socket
import subprocess
import tempfile
import time
import urllib.request
import xml.etree.ElementTree as ET

import pytest

from conftest import skip_suite
from harness import OPEN, PAD, copy_program, read_bytes as read, wait_for, write_bytes

SYNC = 90  # s: bounds every wait for the other desk; nothing is timed by it
PAD_AREA = (1920 - 256 + 8, 5 + 48, 169, 193)  # screen coordinates
# The copies the two tools here make: Syncthing's, and the bar's own.
COPY = r"note0\d(?:\.sync-conflict-\d{8}-\d{6}-[A-Z2-7]{7}| \(conflicted copy [^)]*\))\.qkn"
GAVE_WAY = "marglet: Another desk's version of Note 01 replaced the text you typed here. " \
           "Your text is kept in "


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def syncthing_runs():
    probe = tempfile.mkdtemp(prefix="marglet-syncthing-")
    try:
        return shutil.which("syncthing") and subprocess.run(
            ["syncthing", "generate", "--home=" + probe], capture_output=True).returncode == 0
    finally:
        shutil.rmtree(probe, True)


if not syncthing_runs():
    skip_suite("syncthing cannot run here")


class Syncthing:
    """One desk's Syncthing, sharing the program folder `folder`."""

    def __init__(self, home, folder, name):
        self.home, self.folder, self.name = home, folder, name
        subprocess.run(["syncthing", "generate", "--home=" + home, "--no-default-folder"],
                       check=True, capture_output=True)
        self.config = ET.parse(os.path.join(home, "config.xml"))
        self.id = self.config.find("device").get("id")
        self.port, self.gui, self.key = free_port(), free_port(), "marglet-test-" + name

    def share_with(self, peer):
        root = self.config.getroot()
        own = root.find("device")
        own.find("address").text = f"tcp://127.0.0.1:{self.port}"
        other = copy.deepcopy(own)
        other.attrib.update(id=peer.id, name=peer.name)
        other.find("address").text = f"tcp://127.0.0.1:{peer.port}"
        root.append(other)
        # The folder as Syncthing's own defaults make one (conflict copies
        # kept), shared with the peer.
        folder = copy.deepcopy(root.find("defaults/folder"))
        folder.attrib.update(id="notes", label="notes", path=self.folder, fsWatcherDelayS="1")
        shared = copy.deepcopy(folder.find("device"))
        shared.set("id", peer.id)
        folder.append(shared)
        root.insert(0, folder)
        root.find("gui/address").text = f"127.0.0.1:{self.gui}"
        root.find("gui/apikey").text = self.key
        for option, value in (("listenAddress", f"tcp://127.0.0.1:{self.port}"),
                              ("globalAnnounceEnabled", "false"),
                              ("localAnnounceEnabled", "false"), ("relaysEnabled", "false"),
                              ("natEnabled", "false"), ("urAccepted", "-1"),
                              ("crashReportingEnabled", "false"), ("startBrowser", "false"),
                              ("autoUpgradeIntervalH", "0")):
            root.find("options/" + option).text = value
        self.config.write(os.path.join(self.home, "config.xml"))
        with open(os.path.join(self.folder, ".stignore"), "w") as f:
            f.write("!*.qkn\n*\n")

    def start(self):
        self.log = open(self.home + ".log", "wb")
        self.proc = subprocess.Popen(
            ["syncthing", "serve", "--home=" + self.home, "--no-browser", "--no-restart",
             "--no-default-folder"], env=dict(os.environ, STNOUPGRADE="1"),
            stdout=self.log, stderr=subprocess.STDOUT)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(30)
        self.log.close()

    def connected(self, peer):
        request = urllib.request.Request(f"http://127.0.0.1:{self.gui}/rest/system/connections",
                                         headers={"X-API-Key": self.key})
        try:
            with urllib.request.urlopen(request, timeout=5) as answer:
                return json.loads(answer.read())["connections"][peer.id]["connected"]
        except (OSError, KeyError, ValueError):
            return False

    def notes(self):
        """Every note file and copy of one, with its bytes."""
        return {n: read(os.path.join(self.folder, n)) for n in sorted(os.listdir(self.folder))
                if n.endswith(".qkn")}


class TwoDesks:
    def __init__(self, root, make_bar, make_session):
        self.make_bar, self.make_session = make_bar, make_session
        self.desks = []
        for name in "ab":
            folder = os.path.join(root, name)
            os.mkdir(folder)
            copy_program(folder)
            self.desks.append(Syncthing(os.path.join(root, name + "-syncthing"), folder, name))
        a, b = self.desks
        a.share_with(b)
        b.share_with(a)
        for desk in self.desks:
            desk.start()
        self.until(lambda: a.connected(b) and b.connected(a), "the desks to connect")

    def until(self, predicate, what, timeout=SYNC):
        return wait_for(predicate, timeout, lambda: f"{what}: {[d.notes() for d in self.desks]}")

    def start_bars(self, notes=None):
        """Notes written on desk a and arrived on desk b, then a bar on each
        desk, expanded on Note 01."""
        a, b = self.desks
        for name, text in (notes or {}).items():
            write_bytes(os.path.join(a.folder, name), text)
        self.until(lambda: b.notes() == a.notes(), "the notes to reach desk b")
        self.bars = [self.make_bar(self.make_session("none"), folder=d.folder) for d in self.desks]
        for bar in self.bars:
            bar.slide(OPEN)
        return self.bars

    def in_step(self, quiet=3.0):
        """The notes of both desks once alike and unchanged for `quiet` s."""
        a, b = self.desks
        last = [None, 0.0]

        def settled():
            now = a.notes()
            if now != b.notes() or now != last[0]:
                last[:] = [now, time.time()]
            return now if time.time() - last[1] >= quiet else None
        return self.until(settled, "the desks to agree")


def type_into(bar, text=""):
    """Types at the end of Note 01, as a user after a click into it."""
    bar.click(*PAD)
    bar.session.run("xdotool", "windowfocus", "--sync", str(bar.wid), check=False)
    bar.session.key("ctrl+End")
    if text:
        bar.session.type_text(text)


def wait_said(bar, text):
    wait_for(lambda: text in bar.output(), SYNC, lambda: f"the bar to say {text!r}: "
             + bar.output())
    wait_for(bar.message_windows, 5.0, "a message window")


def told(bar, path):
    return bar.output().count(f'"{path}"')


@pytest.fixture
def desks(tmp_path, make_bar, make_session):
    two = TwoDesks(str(tmp_path), make_bar, make_session)
    yield two
    for desk in two.desks:
        desk.stop()


def test_what_one_desk_types_reaches_the_others_pad(desks):
    a, b = desks.start_bars()
    before = b.session.pixels(*PAD_AREA)
    type_into(a, "typed on desk a")
    desks.until(lambda: b.file("note01.qkn") == b"typed on desk a", "desk b's note")

    def changed():  # more than a caret's worth of pixels
        now = b.session.pixels(*PAD_AREA)
        return sum(p != q for r, s in zip(before, now) for p, q in zip(r, s)) > 30
    desks.until(changed, "desk b's pad to show it")
    assert "marglet:" not in a.output() + b.output(), "nothing to tell"


def test_the_same_second_on_both_desks_keeps_both_and_the_bar_that_gave_way_says_where(desks):
    typed = [b"line typed on desk a", b"line typed on desk b"]
    bars = desks.start_bars()
    for bar in bars:
        type_into(bar)
    typing = [subprocess.Popen(["xdotool", "type", "--delay", "20", text.decode()],
                               env=bar.session.env()) for bar, text in zip(bars, typed)]
    assert [p.wait(30) for p in typing] == [0, 0]
    a, b = desks.desks
    desks.until(lambda: len(a.notes()) == 2 and a.notes() == b.notes(),
                "the note and Syncthing's copy on both desks")
    notes = desks.in_step()
    copy_name = next(n for n in notes if n != "note01.qkn")
    assert re.fullmatch(COPY, copy_name)
    assert sorted(notes.values()) == typed, "both texts on disk, byte for byte"
    # The bar whose text gave way says where it went; the other, that a copy
    # is there. Each names the copy once.
    lost = typed.index(notes[copy_name])
    for n, (bar, desk) in enumerate(zip(bars, desks.desks)):
        path = os.path.join(desk.folder, copy_name)
        wait_said(bar, (GAVE_WAY if n == lost else "marglet: Another version of Note 01 is kept "
                                                   "in ") + f'"{path}"')
        assert told(bar, path) == 1, bar.output()


def test_a_note_deleted_on_one_desk_follows_unless_just_typed_on_the_other(desks):
    a, b = desks.start_bars({"note01.qkn": b"shared one", "note02.qkn": b"shared two"})
    type_into(b, " and more")
    desks.until(lambda: a.file("note01.qkn") == b"shared one and more", "b's edit on a")
    # Deleted on desk a, as a file manager there would: Note 02, only read on
    # desk b, goes; Note 01, typed into there a moment ago, is saved again
    # and comes back to desk a.
    for name in ("note01.qkn", "note02.qkn"):
        os.remove(a.path(name))
    wait_said(b, "marglet: The file of Note 01 was deleted on another desk or by another "
                 "program, less than a minute after you typed in it. Marglet keeps your text and "
                 f'saves it in "{b.path("note01.qkn")}" again.')
    desks.until(lambda: a.file("note01.qkn"), "Note 01 back on desk a")
    assert desks.in_step(quiet=5.0) == {"note01.qkn": b"shared one and more"}
    assert "Note 02" not in a.output() + b.output()
    assert "marglet:" not in a.output()
