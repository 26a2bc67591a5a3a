"""The real bar as assistive tools meet it, through AT-SPI in a desktop
session under openbox: what the tree says shut and open (names, roles,
states, places against the real window), its actions, the Tab order, nothing
hidden taking the keyboard, Escape and where the keyboard goes back to, a
screen reader that starts after the bar, and what Orca says.
"""

import importlib.util
import os
import re
import shutil
import subprocess
import sys
import unittest

import xharness
from desktops import Desktop, wait_for

DESKTOP = None
pyatspi = None  # imported once the session's buses are known

PAD, OPTIONS = (90, 150), (53, 315)
# Where each control is in the bar's window, as (x, y, width, height).
PLACES = {"Close": (169, 1, 15, 15), "Expand": (152, 1, 15, 15), "Collapse": (152, 1, 15, 15),
          "Note 01": (7, 26, 52, 22), "Note 02": (59, 26, 52, 22), "Note 03": (111, 26, 52, 22),
          "Note 01 text": (8, 48, 169, 193), "Save As Text File": (16, 252, 153, 20),
          "Load Text File": (16, 279, 153, 20), "About": (95, 306, 74, 19),
          "Options": (16, 306, 74, 19)}
SHUT = ["Close", "Expand"]
OPEN = ["Close", "Collapse", "Note 01", "Note 02", "Note 03", "Note 01 text", "Save As Text File",
        "Load Text File", "About", "Options"]
# Keys pressed from the open bar's note pad, and what Orca says to each.
ORCA_ROUND = [("ctrl+Tab", "Save As Text File push button."), ("Tab", "Load Text File push button."),
              ("Tab", "About push button."), ("Tab", "Options push button."),
              ("Tab", "Close push button."), ("Tab", "Collapse expanded push button."),
              ("space", "collapsed"), ("space", "expanded"), ("Tab", "Note 01 page tab."),
              ("Tab", "Note 02 page tab."), ("space", "Note 02 text.")]


def setUpModule():
    global DESKTOP, pyatspi
    DESKTOP = Desktop("openbox", accessibility=True)
    DESKTOP.set_accessibility(True)
    # The client library finds the accessibility bus through these, once.
    os.environ.update(DISPLAY=DESKTOP.display, DBUS_SESSION_BUS_ADDRESS=DESKTOP.bus)
    import pyatspi as module
    pyatspi = module


def tearDownModule():
    DESKTOP.stop()


def states(accessible):
    accessible.clear_cache()
    return {pyatspi.stateToString(s) for s in accessible.getState().getStates()}


def descendants(accessible):
    for i in range(accessible.childCount):
        child = accessible.getChildAtIndex(i)
        if child is not None:
            yield child
            yield from descendants(child)


def label(accessible):
    """A control as the checks name it: a text box by its name and role."""
    accessible.clear_cache()
    role = accessible.getRoleName()
    return accessible.name + " text" if role == "text" else accessible.name


class BarCase(unittest.TestCase):
    def setUp(self):
        self.bar = xharness.Bar(DESKTOP)
        self.frame = wait_for(self._frame, 60, "the bar on the accessibility bus")

    def tearDown(self):
        self.bar.stop()

    def _frame(self):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.bar.pid() and app.childCount:
                return app.getChildAtIndex(0)
        return None

    def find(self, name):
        return next(a for a in descendants(self.frame) if label(a) == name)

    def offered(self):
        """What the tree offers: the controls that take the keyboard, by
        name; and checks that all it shows lies in the window and nothing it
        hides can be focused or pressed."""
        found = []
        left, top, width, height = self.bar.geometry()
        for accessible in descendants(self.frame):
            s = states(accessible)
            if "showing" in s:
                e = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                self.assertTrue(left <= e.x and e.x + e.width <= left + width and top <= e.y
                                and e.y + e.height <= top + height,
                                f"{label(accessible)!r} shows outside the window")
                if "focusable" in s:
                    found.append(label(accessible))
            else:
                self.assertFalse("focusable" in s or "Press" in self.actions(accessible),
                                 f"hidden {label(accessible)!r} offered: {s}")
        return sorted(found)

    @staticmethod
    def actions(accessible):
        try:
            action = accessible.queryAction()
        except NotImplementedError:
            return []
        return [action.getName(i) for i in range(action.nActions)]

    def press(self, name):
        action = self.find(name).queryAction()
        action.doAction(next(i for i in range(action.nActions) if action.getName(i) == "Press"))

    def height(self, pixels):
        wait_for(lambda: self.bar.geometry()[3] == pixels, 30, f"the bar {pixels} px tall")

    def focused(self):
        return next((label(a) for a in descendants(self.frame) if "focused" in states(a)), None)

    def key(self, key, expect):
        """Presses a key in the bar and waits for the keyboard to reach `expect`."""
        DESKTOP.run("xdotool", "key", key)
        try:
            wait_for(lambda: self.focused() == expect, 30, f"{key} to reach {expect!r}")
        except AssertionError:
            raise AssertionError(f"{key} reached {self.focused()!r}, not {expect!r}") from None

    def type_into_bar(self):
        """Opens the bar and clicks into its note pad, as a user does."""
        self.bar.click(159, 8)
        self.height(343)
        self.bar.click(*PAD)
        wait_for(lambda: DESKTOP.focus_within(self.bar.wid), 30, "the bar to take the keyboard")
        wait_for(lambda: self.focused() == "Note 01 text", 30, "the note pad's focus")


class TheBar(BarCase):
    def test_the_tree_shut_and_open(self):
        self.assertEqual((self.frame.getRoleName(), self.frame.name), ("frame", "QKS Marglet"))
        expand = self.find("Expand")
        self.assertLessEqual({"expandable", "collapsed"}, states(expand))
        self.assertEqual(self.offered(), sorted(SHUT))
        self.press("Expand")
        self.height(343)
        wait_for(lambda: "expanded" in states(expand), 30, "the button to say it is expanded")
        self.assertEqual(self.offered(), sorted(OPEN))
        left, top = self.bar.geometry()[:2]
        for name in OPEN:
            extents = self.find(name).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            x, y, w, h = PLACES[name]
            self.assertEqual((extents.x, extents.y, extents.width, extents.height),
                             (left + x, top + y, w, h), name)
        tabs = self.find("Note 02").parent
        self.assertEqual((tabs.getRoleName(), tabs.name), ("page tab list", "Notes"))
        self.assertIn("selected", states(self.find("Note 01")))
        self.press("Note 02")
        wait_for(lambda: "selected" in states(self.find("Note 02")), 30, "Note 02 selected")
        self.assertNotIn("selected", states(self.find("Note 01")))
        self.find("Note 02 text")  # the pad is named after its note
        self.press("Collapse")
        self.height(17)
        self.assertEqual(self.offered(), sorted(SHUT))

    def test_the_keyboard_goes_round_what_the_bar_shows(self):
        self.type_into_bar()
        shots = xharness.ARGS.out
        DESKTOP.run("xdotool", "key", "Tab")  # typed into the note
        pad = self.find("Note 01 text").queryText()
        wait_for(lambda: pad.getText(0, -1) == "\t", 30, "Tab typed into the note")
        self.key("ctrl+Tab", "Save As Text File")
        for name in OPEN[OPEN.index("Save As Text File") + 1:] + OPEN[:OPEN.index("Note 01 text")]:
            self.key("Tab", name)
        DESKTOP.screenshot(os.path.join(shots, "a11y-open-focus.png"), *self.bar.geometry())
        self.key("Tab", "Note 01 text")
        self.key("ctrl+shift+Tab", "Note 03")
        # Picking a note with the keyboard goes on into it.
        self.key("shift+Tab", "Note 02")
        self.key("space", "Note 02 text")
        for name in ("Note 03", "Note 02", "Note 01", "Collapse"):
            self.key("shift+Tab", name)
        # Shut, the bar keeps the keyboard on its strip and goes round it.
        self.key("space", "Expand")
        self.height(17)
        self.assertEqual(self.offered(), sorted(SHUT))
        self.key("Tab", "Close")
        self.key("Tab", "Expand")
        DESKTOP.screenshot(os.path.join(shots, "a11y-shut-focus.png"), *self.bar.geometry())

    def test_escape_gives_the_keyboard_back(self):
        # From the bar's own buttons, by the keyboard.
        self.type_into_bar()
        self.key("ctrl+Tab", "Save As Text File")
        self.key("Tab", "Load Text File")
        for key, button, title in (("Tab", "About", "About QKS Marglet"),
                                   ("Tab", "Options", "QKS Marglet Options"),
                                   ("shift+Tab", "About", "About QKS Marglet")):
            self.key(key, button)
            DESKTOP.run("xdotool", "key", "space")
            dialog = self.dialog(title)
            DESKTOP.run("xdotool", "key", "Escape")
            wait_for(lambda: DESKTOP.focus_within(self.bar.wid), 30, "the keyboard in the bar")
            wait_for(lambda: self.focused() == button, 30, f"the keyboard on {button}")
            self.assertIsNone(DESKTOP.prop(dialog, "WM_STATE"), f"{title} is still there")
        # From another program: the bar, clicked, never had the keyboard.
        editor = DESKTOP.open_ordinary_window("Editor")
        try:
            wait_for(lambda: not DESKTOP._window(self.bar.wid).get_wm_hints().input, 30,
                     "the bar to refuse the keyboard once the editor has it")
            self.bar.click(*OPTIONS)
            self.dialog("QKS Marglet Options")
            DESKTOP.run("xdotool", "key", "Escape")
            wait_for(lambda: DESKTOP.focus_within(editor), 30, "the keyboard back in the editor")
        finally:
            DESKTOP.close_window(editor)

    def dialog(self, title):
        found = wait_for(lambda: DESKTOP.run("xdotool", "search", "--onlyvisible", "--name",
                                             f"^{title}$", check=False).split(), 30, title)
        wid = int(found[0])
        wait_for(lambda: DESKTOP.focus_within(wid), 30, f"the keyboard in {title}")
        return wid


# Lists the process ids of the applications on the accessibility bus.
_APPLICATIONS = """
import pyatspi
print(" ".join(str(a.get_process_id()) for a in pyatspi.Registry.getDesktop(0) if a))
"""


class LateScreenReader(unittest.TestCase):
    def test_a_screen_reader_started_after_the_bar_finds_it(self):
        # The desktop's accessibility bus runs, but nobody has asked for
        # assistive tools yet when the bar starts.
        desktop = Desktop("openbox", accessibility=True)
        bar = None
        try:
            # On screen, the bar has asked the bus whether tools are wanted.
            bar = xharness.Bar(desktop)
            desktop.set_accessibility(True)

            def listed():
                done = subprocess.run([sys.executable, "-c", _APPLICATIONS], env=desktop.env(),
                                      capture_output=True, text=True, timeout=60)
                return str(bar.pid()) in done.stdout.split()
            wait_for(listed, 60, "the bar among the screen reader's applications")
        finally:
            if bar:
                bar.stop()
            desktop.stop()


class WhatOrcaSays(BarCase):
    """Orca's own record of what it would say, through speech-dispatcher's
    output module that speaks nowhere."""

    def setUp(self):
        if not shutil.which("orca"):
            self.skipTest("orca is not installed")
        # Orca runs once per user, and its --replace would end the other.
        if subprocess.run(["pgrep", "-u", str(os.getuid()), "-x", "orca"],
                          capture_output=True).returncode == 0:
            self.skipTest("another Orca runs for this user")
        super().setUp()
        home = DESKTOP.home
        run = os.path.join(home, "run")
        config = os.path.join(home, "speechd")
        os.makedirs(config, exist_ok=True)
        with open(os.path.join(config, "speechd.conf"), "w") as f:
            f.write('AudioOutputMethod "alsa"\nDefaultModule dummy\n'
                    'AddModule "dummy" "sd_dummy" ""\n')
        with open(os.path.join(home, ".asoundrc"), "w") as f:
            f.write("pcm.!default { type null }\n")
        # Orca's own hook for its user's code: its record is written a line
        # at a time, to be read while it runs.
        prefs = os.path.join(home, ".local", "share", "orca")
        os.makedirs(prefs, exist_ok=True)
        with open(os.path.join(prefs, "orca-customizations.py"), "w") as f:
            f.write("import orca.debug as d\nif d.debugFile:\n    d.debugFile.flush()\n"
                    "    d.debugFile = open(d.debugFile.name, 'a', buffering=1)\n")
        socket = os.path.join(run, "speechd.sock")
        self.log = os.path.join(home, "orca.log")
        self.procs = [DESKTOP.spawn(["speech-dispatcher", "-s", "-t", "0", "-c", "unix_socket",
                                     "-S", socket, "-C", config, "-L", home])]
        wait_for(lambda: os.path.exists(socket), 30, "speech-dispatcher")
        self.procs.append(DESKTOP.spawn(["orca", f"--debug-file={self.log}"],
                                        env={"SPEECHD_ADDRESS": "unix_socket:" + socket}))
        self.heard = 0
        self.says("Screen reader on.")

    def tearDown(self):
        for proc in getattr(self, "procs", []):
            proc.kill()
            proc.wait(10)
        if os.path.exists(getattr(self, "log", "")):
            shutil.copy(self.log, os.path.join(xharness.ARGS.out, "a11y-orca-debug.log"))
        super().tearDown()

    def spoken(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, errors="replace") as f:
            return re.findall(r" - SPEECH OUTPUT: '(.*)' ?\{'established'", f.read())

    def says(self, expected):
        """Waits until Orca has said `expected`, after what it said before."""
        def heard():
            new = self.spoken()[self.heard:]
            if expected in new:
                self.heard += new.index(expected) + 1
            return expected in new
        try:
            wait_for(heard, 60, f"Orca to say {expected!r}")
        except AssertionError:
            with open(DESKTOP.log, errors="replace") as f:
                session = f.read()[-3000:]
            raise AssertionError(f"Orca said {self.spoken()[self.heard:]}, not {expected!r}; "
                                 f"the session's output:\n{session}") from None

    def test_a_round_of_the_open_bar_and_its_button(self):
        self.type_into_bar()
        self.says("Note 01 text.")
        for key, spoken in ORCA_ROUND:
            DESKTOP.run("xdotool", "key", key)
            self.says(spoken)


if __name__ == "__main__":
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher") or not importlib.util.find_spec(
            "pyatspi"):
        print("SKIP: at-spi2-core or python3-pyatspi is not installed", flush=True)
        sys.exit(77)
    xharness.main()
