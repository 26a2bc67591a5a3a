"""Two desks whose program folders Syncthing keeps in step, each bar on an X
server of its own, driven from outside as a user with two computers would.

Syncthing runs twice on this machine, over loopback only (no discovery,
relays or NAT), watching its folder with a 1 s delay and sharing only the
note files; each desk's Syncthing has its own home, and its REST API says
when the two are connected.
"""

import copy
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request
import xml.etree.ElementTree as ET

import xharness
from deskfaults import BarDriving
from xharness import Bar, XTestCase, read_bytes as read
from xserver import Xvfb

SYNC = 90  # s: bounds every wait for the other desk; nothing is timed by it
# The copies the two tools here make: Syncthing's, and the bar's own.
COPY = r"note0\d(?:\.sync-conflict-\d{8}-\d{6}-[A-Z2-7]{7}| \(conflicted copy [^)]*\))\.qkn"


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

    def rest(self, path):
        request = urllib.request.Request(f"http://127.0.0.1:{self.gui}{path}",
                                         headers={"X-API-Key": self.key})
        with urllib.request.urlopen(request, timeout=5) as answer:
            return json.loads(answer.read())

    def connected(self, peer):
        try:
            return self.rest("/rest/system/connections")["connections"][peer.id]["connected"]
        except (OSError, KeyError, ValueError):
            return False

    def notes(self):
        """Every note file and copy of one, with its bytes."""
        return {n: read(os.path.join(self.folder, n)) for n in sorted(os.listdir(self.folder))
                if n.endswith(".qkn")}


class TwoDesks(BarDriving, XTestCase):
    def setUp(self):
        super().setUp()
        root = tempfile.mkdtemp(prefix="marglet-sync-")
        self.addCleanup(shutil.rmtree, root, True)
        self.desks = []
        for name in ("a", "b"):
            folder = os.path.join(root, name)
            os.mkdir(folder)
            xharness.copy_program(folder)
            self.desks.append(Syncthing(os.path.join(root, name + "-syncthing"), folder, name))
        a, b = self.desks
        a.share_with(b)
        b.share_with(a)
        for desk in self.desks:
            desk.start()
            self.addCleanup(desk.stop)
        self.until(lambda: a.connected(b) and b.connected(a), "the desks to connect")

    def until(self, predicate, what, timeout=SYNC):
        deadline = time.time() + timeout
        while time.time() < deadline:
            value = predicate()
            if value:
                return value
            time.sleep(0.05)
        raise AssertionError(f"timed out waiting for {what}: "
                             + repr([desk.notes() for desk in self.desks]))

    def start_bars(self, notes=None):
        """Notes written on desk a and arrived on desk b, then a bar on each
        desk, expanded on Note 01."""
        a, b = self.desks
        for name, text in (notes or {}).items():
            with open(os.path.join(a.folder, name), "wb") as f:
                f.write(text)
        self.until(lambda: b.notes() == a.notes(), "the notes to reach desk b")
        second = Xvfb()
        self.addCleanup(second.stop)
        bars = [self.start(folder=a.folder), Bar(second, folder=b.folder)]
        self.bars.append(bars[1])
        for bar in bars:
            self.expand(bar)
        return bars

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

    def type_together(self, texts, note=1, delay=20):
        """Each bar's text typed at the same time, as two users would."""
        bars = self.bars
        for bar in bars:
            self.focus_note(bar, note)
        typing = [subprocess.Popen(["xdotool", "type", "--delay", str(delay), text],
                                   env=bar.server.env()) for bar, text in zip(bars, texts)]
        for process in typing:
            self.assertEqual(process.wait(30), 0)

    def told(self, bar, path):
        return bar.output().count(f'"{path}"')

    def shot(self, name, bar):
        self.screenshot(name, (0, 0, 1920, 1080), bar.server)

    # --- the cases --------------------------------------------------------------

    def test_what_one_desk_types_reaches_the_others_pad(self):
        a, b = self.start_bars()
        before = self.pad(b)
        self.type_into(a, 1, "typed on desk a")
        self.until(lambda: read(b.file("note01.qkn")) == b"typed on desk a", "desk b's note")
        self.wait_pad_change(b, before, "desk b's pad to show it", timeout=SYNC)
        self.shot("sync_typed_on_a_shown_on_b.png", b)
        self.assertNotIn("marglet:", a.output() + b.output(), "nothing to tell")

    def test_the_same_second_on_both_desks_keeps_both_and_the_bar_that_gave_way_says_where(self):
        typed = [b"line typed on desk a", b"line typed on desk b"]
        self.start_bars()
        self.type_together([t.decode() for t in typed])
        a, b = self.desks
        self.until(lambda: len(a.notes()) == 2 and a.notes() == b.notes(),
                   "the note and Syncthing's copy on both desks")
        notes = self.in_step()
        copy_name = next(n for n in notes if n != "note01.qkn")
        self.assertRegex(copy_name, COPY)
        self.assertEqual(sorted(notes.values()), typed, "both texts on disk, byte for byte")
        # The bar whose text gave way says where it went; the other, that a
        # copy is there. Each names the copy once.
        lost = typed.index(notes[copy_name])
        for n, (bar, desk) in enumerate(zip(self.bars, self.desks)):
            path = os.path.join(desk.folder, copy_name)
            said = (r"Another desk's version of Note 01 replaced the text you typed here\. Your "
                    r"text is kept in " if n == lost else r"Another version of Note 01 is kept in ")
            self.wait_message(bar, "marglet: " + said + re.escape(f'"{path}"'), timeout=SYNC)
            self.assertEqual(self.told(bar, path), 1, bar.output())
        self.shot("sync_same_second_the_bar_that_gave_way.png", self.bars[lost])

    def test_an_unsaved_edit_meeting_an_arriving_version_keeps_both_as_the_bar_does_today(self):
        a, b = self.start_bars()
        self.type_into(a, 1, "from desk a")
        self.focus_note(b, 1)
        # Desk b types on, never pausing long enough to save, until desk a's
        # version is in its folder, and a little longer.
        typed, more = "", 3
        while more:
            chunk = f"b{len(typed) // 4:02d} "
            b.server.run("xdotool", "type", "--delay", "60", chunk)
            typed += chunk
            self.assertLess(len(typed), 400, "desk a's version never reached desk b")
            if read(b.file("note01.qkn")) == b"from desk a":
                more -= 1
        self.until(lambda: all(len(desk.notes()) == 2 for desk in self.desks),
                   "the bar's own copy on both desks")
        notes = self.in_step()
        aside = [n for n in notes if re.fullmatch(COPY, n)]
        self.assertEqual(len(aside), 1, notes)
        self.assertEqual((notes["note01.qkn"], notes[aside[0]]), (typed.encode(), b"from desk a"))
        self.wait_message(b, r'marglet: Note 01 was changed by another program too\. Your text is '
                             rf'saved in "{re.escape(b.file("note01.qkn"))}"; the other version '
                             rf'is kept in "{re.escape(b.file(aside[0]))}"\.', timeout=SYNC)
        self.wait_message(a, r"marglet: Another desk's version of Note 01 replaced the text you "
                             rf'typed here\. Your text is kept in "{re.escape(a.file(aside[0]))}"',
                          timeout=SYNC)
        for bar in (a, b):
            self.assertEqual(self.told(bar, bar.file(aside[0])), 1, bar.output())
        self.shot("sync_unsaved_edit_desk_a_told.png", a)

    def test_steady_typing_on_both_desks_loses_nothing_and_tells_each_copy_once(self):
        self.start_bars()
        for bar in self.bars:
            self.focus_note(bar, 1)
        words = {letter: [] for letter in "ab"}
        end = time.time() + 40

        def type_on(bar, letter):
            while time.time() < end:
                word = f"{letter}{len(words[letter]):03d} "
                bar.server.run("xdotool", "type", "--delay", "80", word)
                words[letter].append(word.strip())
        threads = [threading.Thread(target=type_on, args=(bar, letter))
                   for bar, letter in zip(self.bars, "ab")]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        notes = self.in_step(quiet=8.0)
        everything = b" ".join(notes.values()).decode()
        for letter, typed in words.items():
            missing = [w for w in typed if w not in everything]
            self.assertEqual(missing, [], f"{len(typed)} words typed on desk {letter}")
        copies = [n for n in notes if n != "note01.qkn"]
        self.assertTrue(all(re.fullmatch(COPY, n) for n in copies), copies)
        self.assertLessEqual(len(copies), 8, "a few saves make a few copies, not a storm")
        for bar, desk in zip(self.bars, self.desks):
            paths = [os.path.join(desk.folder, n) for n in copies]
            bar.wait_for(lambda: all(self.told(bar, p) for p in paths), SYNC, "every copy told")
            self.assertEqual([self.told(bar, p) for p in paths], [1] * len(paths), bar.output())
            self.assertLessEqual(bar.output().count("marglet:"), len(copies) + 2, bar.output())
        self.shot("sync_steady_typing_desk_b.png", self.bars[1])

    def test_a_note_deleted_on_one_desk_follows_unless_just_typed_on_the_other(self):
        a_desk, b_desk = self.desks
        a, b = self.start_bars({"note01.qkn": b"shared one", "note02.qkn": b"shared two"})
        self.type_into(b, 1, " and more")
        self.until(lambda: read(a.file("note01.qkn")) == b"shared one and more", "b's edit on a")
        # Deleted on desk a, as a file manager there would: Note 02, only
        # read on desk b, goes; Note 01, typed into there a moment ago, is
        # saved again and comes back to desk a.
        for name in ("note01.qkn", "note02.qkn"):
            os.remove(a.file(name))
        self.wait_message(b, r"marglet: The file of Note 01 was deleted on another desk or by "
                             r"another program, less than a minute after you typed in it\. "
                             rf'Marglet keeps your text and saves it in '
                             rf'"{re.escape(b.file("note01.qkn"))}" again\.', timeout=SYNC)
        self.until(lambda: read(a.file("note01.qkn")), "Note 01 back on desk a")
        self.assertEqual(self.in_step(quiet=5.0), {"note01.qkn": b"shared one and more"})
        self.assertNotIn("Note 02", a.output() + b.output())
        self.assertNotIn("marglet:", a.output())
        self.shot("sync_deleted_on_a_kept_on_b.png", b)


def main():
    # Only a machine without a working Syncthing skips: the package is in
    # the test packages that `make test` installs.
    probe = tempfile.mkdtemp(prefix="marglet-syncthing-")
    try:
        made = shutil.which("syncthing") and subprocess.run(
            ["syncthing", "generate", "--home=" + probe], capture_output=True, text=True)
    finally:
        shutil.rmtree(probe, True)
    if not made or made.returncode != 0:
        print("SKIP: syncthing cannot run here: "
              + (made.stderr.strip() if made else "not installed"), flush=True)
        sys.exit(77)
    xharness.main()


if __name__ == "__main__":
    main()
