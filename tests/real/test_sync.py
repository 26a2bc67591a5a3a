# Two desks whose program folders Syncthing keeps in step, each bar on an X
# server of its own, driven from outside as a user with two computers would.
# Syncthing runs twice on this machine, over loopback only (no discovery,
# relays or NAT), watching its folder with a 1 s delay and sharing only the
# note files; its REST API says when the two are connected. Only a machine
# where Syncthing cannot run skips: `make test` installs it.
#
# What the bar does with each change another desk makes (a new text shown,
# a deleted note, a sync tool's copy) is the note book's and the bar's unit
# tests' (tests/notes, tests/bar); here two real Syncthings meet the real
# bars in the same second.

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
from harness import OPEN, copy_program, read_bytes as read, wait_for, write_bytes

SYNC = 90  # s: bounds every wait for the other desk; nothing is timed by it
# The copies the two tools here make: Syncthing's, and the bar's own.
COPY = r"note0\d(?:\.sync-conflict-\d{8}-\d{6}-[A-Z2-7]{7}| \(conflicted copy [^)]*\))\.qkn"
GAVE_WAY = "marglet: Another desk's version of Note 01 replaced the text you typed here. " \
           "Your text is kept in "
KEPT = "marglet: Another version of Note 01 is kept in "
TYPED = [b"line typed on desk a", b"line typed on desk b"]

with tempfile.TemporaryDirectory(prefix="marglet-syncthing-") as probe:
    if not shutil.which("syncthing") or subprocess.run(
            ["syncthing", "generate", "--home=" + probe], capture_output=True).returncode:
        skip_suite("syncthing cannot run here")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Syncthing:
    """One desk's Syncthing, sharing the program folder `folder`."""

    def __init__(self, home, folder, name):
        self.home, self.folder, self.name = home, folder, name
        subprocess.run(["syncthing", "generate", "--home=" + home, "--no-default-folder"],
                       check=True, capture_output=True)
        self.config = ET.parse(os.path.join(home, "config.xml"))
        self.id = self.config.find("device").get("id")
        self.port, self.gui, self.key = free_port(), free_port(), "marglet-test-" + name

    def serve_with(self, peer):
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
        write_bytes(os.path.join(self.folder, ".stignore"), b"!*.qkn\n*\n")
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


@pytest.fixture
def desks(tmp_path, make_bar, make_session):
    """Both desks' Syncthings, connected, and a bar on each, open on Note 01
    with the keyboard in its pad."""
    desks = []
    for name in "ab":
        folder = os.path.join(tmp_path, name)
        os.mkdir(folder)
        copy_program(folder)
        desks.append(Syncthing(os.path.join(tmp_path, name + "-syncthing"), folder, name))
    a, b = desks
    a.serve_with(b)
    b.serve_with(a)
    try:
        wait_for(lambda: a.connected(b) and b.connected(a), SYNC, "the desks to connect")
        for desk in desks:
            desk.bar = make_bar(make_session("none"), folder=desk.folder)
            desk.bar.slide(OPEN)
            desk.bar.type_into_pad("")
        yield desks
    finally:
        for desk in desks:
            desk.stop()


def test_the_same_second_on_both_desks_keeps_both_and_the_bar_that_gave_way_says_where(desks):
    typing = [subprocess.Popen(["xdotool", "type", "--delay", "20", text.decode()],
                               env=desk.bar.session.env()) for desk, text in zip(desks, TYPED)]
    assert [p.wait(30) for p in typing] == [0, 0]
    a, b = desks
    # Alike on both desks, and unchanged for 3 s.
    last = [None, 0.0]

    def settled():
        now = a.notes()
        if now != b.notes() or len(now) != 2 or now != last[0]:
            last[:] = [now, time.time()]
        return now if time.time() - last[1] >= 3.0 else None
    notes = wait_for(settled, SYNC, lambda: f"both notes and the copy alike: {a.notes()}, "
                                            f"{b.notes()}")
    copy_name = next(n for n in notes if n != "note01.qkn")
    assert re.fullmatch(COPY, copy_name)
    assert sorted(notes.values()) == TYPED, "both texts on disk, byte for byte"
    # The bar whose text gave way says where it went; the other, that a copy
    # is there. Each names the copy once.
    lost = TYPED.index(notes[copy_name])
    for n, desk in enumerate(desks):
        path = f'"{os.path.join(desk.folder, copy_name)}"'
        said = (GAVE_WAY if n == lost else KEPT) + path
        wait_for(lambda: said in desk.bar.output(), SYNC,
                 lambda: f"the bar to say {said!r}: {desk.bar.output()}")
        wait_for(desk.bar.message_windows, 5.0, "a message window")
        assert desk.bar.output().count(path) == 1, desk.bar.output()
