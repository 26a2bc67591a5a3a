# The real bar as assistive tools meet it, through AT-SPI in a session under
# openbox: what the tree says shut and open (roles, states, places against
# the real window), Escape and where the keyboard goes back to, a screen
# reader that starts after the bar, and what Orca says on a round of the
# keyboard. The names, the Tab order and that nothing hidden takes the
# keyboard are the bar's unit tests' (tests/bar).

import importlib.util
import os
import re
import shutil
import subprocess
import sys

import pytest

import harness
from conftest import skip_suite
from harness import OPEN, OPTIONS, PAD, SHUT, wait_for

if not (os.path.exists("/usr/libexec/at-spi-bus-launcher")
        and importlib.util.find_spec("pyatspi")):
    skip_suite("at-spi2-core or python3-pyatspi is not installed")

# Where each control is in the bar's window, as (x, y, width, height).
PLACES = {"Close": (169, 1, 15, 15), "Collapse": (152, 1, 15, 15), "Note 01": (7, 26, 52, 22),
          "Note 02": (59, 26, 52, 22), "Note 03": (111, 26, 52, 22),
          "Note 01 text": (8, 48, 169, 193), "Save As Text File": (16, 252, 153, 20),
          "Load Text File": (16, 279, 153, 20), "About": (95, 306, 74, 19),
          "Options": (16, 306, 74, 19)}
SHUT_OFFERS, OPEN_OFFERS = sorted(["Close", "Expand"]), sorted(PLACES)
# Keys pressed from the open bar's note pad, and what Orca says to each.
ORCA_ROUND = [("ctrl+Tab", "Save As Text File push button."),
              ("Tab", "Load Text File push button."), ("Tab", "About push button."),
              ("Tab", "Options push button."), ("Tab", "Close push button."),
              ("Tab", "Collapse expanded push button."),
              ("space", "collapsed"), ("space", "expanded"), ("Tab", "Note 01 page tab."),
              ("Tab", "Note 02 page tab."), ("space", "Note 02 text.")]


@pytest.fixture(scope="module")
def desk():
    session = harness.Session("openbox", accessibility=True)
    session.set_accessibility(True)
    # The client library finds the accessibility bus through these, once.
    os.environ.update(DISPLAY=session.display, DBUS_SESSION_BUS_ADDRESS=session.bus)
    yield session
    session.stop()


@pytest.fixture
def bar(desk, make_bar):
    bar = make_bar(desk)
    bar.frame = wait_for(lambda: frame_of(bar), 60, "the bar on the accessibility bus")
    return bar


def frame_of(bar):
    import pyatspi
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == bar.pid() and app.childCount:
            return app.getChildAtIndex(0)
    return None


def states(accessible):
    import pyatspi
    accessible.clear_cache()
    return {pyatspi.stateToString(s) for s in accessible.getState().getStates()}


def descendants(accessible):
    for child in filter(None, map(accessible.getChildAtIndex, range(accessible.childCount))):
        yield child
        yield from descendants(child)


def label(accessible):
    # A text box by its name and role, as the Orca round hears it.
    accessible.clear_cache()
    return accessible.name + (" text" if accessible.getRoleName() == "text" else "")


def find(bar, name):
    return next(a for a in descendants(bar.frame) if label(a) == name)


def extents(accessible):
    e = accessible.queryComponent().getExtents(0)  # pyatspi.DESKTOP_COORDS
    return (e.x, e.y, e.width, e.height)


def offered(bar):
    """The controls that take the keyboard, by name; all the tree shows lies
    in the window. That nothing hidden can be focused or pressed is the
    bar's unit tests' (tests/bar)."""
    found = []
    left, top, width, height = bar.geometry()
    for accessible in descendants(bar.frame):
        if "showing" in states(accessible):
            x, y, w, h = extents(accessible)
            assert left <= x and x + w <= left + width and top <= y and y + h <= top + height, \
                f"{label(accessible)!r} shows outside the window"
            if "focusable" in states(accessible):
                found.append(label(accessible))
    return sorted(found)


def press(bar, name, height):
    action = find(bar, name).queryAction()
    action.doAction([action.getName(i) for i in range(action.nActions)].index("Press"))
    wait_for(lambda: bar.geometry()[3] == height, 30, f"the bar {height} px tall")


def focused(bar):
    return next((label(a) for a in descendants(bar.frame) if "focused" in states(a)), None)


def key(bar, keys, expect):
    bar.session.key(keys)
    wait_for(lambda: focused(bar) == expect, 30,
             lambda: f"{keys} to reach {expect!r}; it reached {focused(bar)!r}")


def type_into_bar(bar):
    """Opens the bar and clicks into its note pad, as a user does."""
    bar.slide(OPEN)
    bar.click(*PAD)
    wait_for(lambda: bar.session.focus_within(bar.wid), 30, "the bar to take the keyboard")
    wait_for(lambda: focused(bar) == "Note 01 text", 30, "the note pad's focus")


def test_the_tree_shut_and_open(bar):
    assert (bar.frame.getRoleName(), bar.frame.name) == ("frame", "QKS Marglet")
    expand = find(bar, "Expand")
    assert {"expandable", "collapsed"} <= states(expand)
    assert offered(bar) == SHUT_OFFERS
    press(bar, "Expand", OPEN)
    wait_for(lambda: "expanded" in states(expand), 30, "the button to say it is expanded")
    assert offered(bar) == OPEN_OFFERS
    left, top = bar.geometry()[:2]
    for name, (x, y, w, h) in PLACES.items():
        assert extents(find(bar, name)) == (left + x, top + y, w, h), name
    tabs = find(bar, "Note 02").parent
    assert (tabs.getRoleName(), tabs.name) == ("page tab list", "Notes")
    press(bar, "Collapse", SHUT)
    assert offered(bar) == SHUT_OFFERS


def test_escape_gives_the_keyboard_back(desk, bar):
    def dialog(title):
        wid = wait_for(lambda: bar.windows(title), 30, title)[0]
        wait_for(lambda: desk.focus_within(wid), 30, f"the keyboard in {title}")
        return wid
    # From the bar's own buttons, by the keyboard.
    type_into_bar(bar)
    key(bar, "ctrl+Tab", "Save As Text File")
    key(bar, "Tab", "Load Text File")
    for keys, button, title in (("Tab", "About", "About QKS Marglet"),
                                ("Tab", "Options", "QKS Marglet Options"),
                                ("shift+Tab", "About", "About QKS Marglet")):
        key(bar, keys, button)
        desk.key("space")
        wid = dialog(title)
        desk.key("Escape")
        wait_for(lambda: desk.focus_within(bar.wid), 30, "the keyboard in the bar")
        wait_for(lambda: focused(bar) == button, 30, f"the keyboard on {button}")
        assert desk.prop(wid, "WM_STATE") is None, f"{title} is still there"
    # From another program: the bar, clicked, never had the keyboard.
    editor = desk.open_ordinary_window("Editor")
    try:
        wait_for(lambda: not desk.accepts_focus(bar.wid), 30, "the bar to refuse the keyboard")
        bar.click(*OPTIONS)
        dialog("QKS Marglet Options")
        desk.key("Escape")
        wait_for(lambda: desk.focus_within(editor), 30, "the keyboard back in the editor")
    finally:
        desk.close_window(editor)


def test_a_screen_reader_started_after_the_bar_finds_it(make_session, make_bar):
    # The desktop's accessibility bus runs, but nobody has asked for
    # assistive tools yet when the bar starts; on screen, it has asked.
    session = make_session("openbox", accessibility=True)
    bar = make_bar(session)
    session.set_accessibility(True)
    listing = ("import pyatspi\nprint(*(a.get_process_id() for a in "
               "pyatspi.Registry.getDesktop(0) if a))")
    wait_for(lambda: str(bar.pid()) in subprocess.run(
        [sys.executable, "-c", listing], env=session.env(), capture_output=True, text=True,
        timeout=60).stdout.split(), 60, "the bar among the screen reader's applications")


@pytest.fixture
def orca(desk):
    """Waits for Orca to say something after what it said before; Orca
    speaks through speech-dispatcher's output module that speaks nowhere,
    and its debug record tells what it said. The session ends both."""
    if not shutil.which("orca"):
        pytest.skip("orca is not installed")
    # Orca runs once per user, and its --replace would end the other.
    if not subprocess.run(["pgrep", "-u", str(os.getuid()), "-x", "orca"],
                          capture_output=True).returncode:
        pytest.skip("another Orca runs for this user")
    home = desk.home
    config, socket, log = (os.path.join(home, n)
                           for n in ("speechd", "run/speechd.sock", "orca.log"))
    prefs = os.path.join(home, ".local", "share", "orca")
    for folder in (config, prefs):
        os.makedirs(folder, exist_ok=True)
    harness.write_bytes(os.path.join(config, "speechd.conf"),
                        b'AudioOutputMethod "alsa"\nDefaultModule dummy\n'
                        b'AddModule "dummy" "sd_dummy" ""\n')
    harness.write_bytes(os.path.join(home, ".asoundrc"), b"pcm.!default { type null }\n")
    # Orca's own hook for its user's code: its record written a line at a
    # time, to be read while it runs.
    harness.write_bytes(os.path.join(prefs, "orca-customizations.py"),
                        b"import orca.debug as d\nif d.debugFile:\n    d.debugFile.flush()\n"
                        b"    d.debugFile = open(d.debugFile.name, 'a', buffering=1)\n")
    desk.spawn(["speech-dispatcher", "-s", "-t", "0", "-c", "unix_socket", "-S", socket, "-C",
                config, "-L", home])
    wait_for(lambda: os.path.exists(socket), 30, "speech-dispatcher")
    desk.spawn(["orca", f"--debug-file={log}"], env={"SPEECHD_ADDRESS": "unix_socket:" + socket})
    heard = []

    def says(expected):
        def spoken():
            text = (harness.read_bytes(log) or b"").decode(errors="replace")
            return re.findall(r" - SPEECH OUTPUT: '(.*)' ?\{'established'", text)[len(heard):]
        wait_for(lambda: expected in spoken(), 60,
                 lambda: f"Orca to say {expected!r}, not {spoken()}")
        new = spoken()
        heard.extend(new[:new.index(expected) + 1])
    says("Screen reader on.")
    return says


def test_orca_says_a_round_of_the_open_bar_and_its_button(bar, orca):
    type_into_bar(bar)
    orca("Note 01 text.")
    for keys, spoken in ORCA_ROUND:
        bar.session.key(keys)
        orca(spoken)
