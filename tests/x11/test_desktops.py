"""The real bar under a window manager (or none), as its users run it: its
place, its outline at every height, the keyboard focus, its stacking over its
dialogs and other windows, typing and the manager's close; on one screen, on
two monitors with the right one primary, and on a small screen.

Run with --wm NAME (see desktops.WINDOW_MANAGERS)."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import desktops
import xharness
from desktops import Desktop, wait_for
from wmstate import Launcher

WM = "none"
MAXMIN = (159, 8)
PAD = (90, 150)
PAD_START = (9, 55)  # before the first character of the note
TAB2 = (80, 36)
OPTIONS = (53, 315)
ABOUT = (132, 315)
WALLPAPER = 0x206030  # no colour the bar has
STRIP = ((60, 4), (64, 134, 246))  # a point of the Blue title strip and its colour


def rgb(value):
    return ((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)


class DesktopCase(unittest.TestCase):
    SIZE = (1920, 1080)
    MONITORS = None
    MANAGER_LATER = False

    def setUp(self):
        self.desktop = Desktop(WM, *self.SIZE, monitors=self.MONITORS,
                               manager_later=self.MANAGER_LATER)
        self.desktop.set_root_colour(WALLPAPER)
        self.bar = None

    def tearDown(self):
        if self.bar:
            self.bar.stop()
        self.desktop.stop()

    # What the checks read from the server.

    def start_bar(self, **kwargs):
        self.bar = xharness.Bar(self.desktop, **kwargs)
        if WM != "none":
            # Managed: the manager has made its decisions about the new window.
            wait_for(lambda: self.desktop.prop(self.bar.wid, "WM_STATE"), 60, "the bar managed")
        # On screen in full: mutter fades a new window in, and takes no
        # clicks on it meanwhile.
        wait_for(self.strip_drawn, 30, "the title strip drawn")
        return self.bar

    def strip_drawn(self):
        """The bar's title strip is on the screen: nothing covers it."""
        (px, py), colour = STRIP
        left, top = self.bar.geometry()[:2]
        return self.desktop.pixels(left + px, top + py, 1, 1)[0][0] == colour

    def frame(self, wid):
        """The outer rectangle of a window with the frame its manager draws
        (_NET_FRAME_EXTENTS: frame windows may hold invisible borders)."""
        d = self.desktop
        window = d._window(wid)
        g = window.get_geometry()
        origin = window.translate_coords(d.x.screen().root, 0, 0)
        left, right, top, bottom = d.prop(wid, "_NET_FRAME_EXTENTS") or (0, 0, 0, 0)
        return (-origin.x - left, -origin.y - top, g.width + left + right,
                g.height + top + bottom)

    def settles(self, wid, check, what):
        """Waits until the window's outer rectangle passes `check`: a manager
        may map a window before it has placed it and drawn its frame."""
        try:
            return wait_for(lambda: check(*self.frame(wid)) and self.frame(wid), 30, what)
        except AssertionError:
            raise AssertionError(f"{what}: it is at {self.frame(wid)}") from None

    def click(self, x, y):
        """Clicks at a point of the bar."""
        left, top = self.bar.geometry()[:2]
        self.desktop.click(left + x, top + y)

    def dialog(self, title):
        d = self.desktop
        try:
            found = wait_for(lambda: d.run("xdotool", "search", "--onlyvisible", "--name",
                                           f"^{title}$", check=False).split(), 60, title)
        except AssertionError:
            clients = [d.title(w) for w in d.prop(d.x.screen().root, "_NET_CLIENT_LIST") or []]
            raise AssertionError(f"no {title}; the manager lists {clients}; the bar said "
                                 f"{self.bar.output()[-1500:]!r}") from None
        return int(found[0])

    def centred(self, wid):
        """The top of a dialog centred down a 1080 px screen by its own height
        (which grows with the reason under the start-at-login box), rounded
        up; a manager's frame is not known when the dialog is placed."""
        return (1080 - self.desktop._window(wid).get_geometry().height + 1) // 2

    def expect_place(self, x, y, height, what):
        wait_for(lambda: self.bar.geometry() == (x, y, 185, height), 30,
                 f"the bar at {x},{y} {height} px tall {what}; it is at {self.bar.geometry()}")

    def slide(self, x, y, heights=(343, 17, 343)):
        for i, height in enumerate(heights):
            self.click(*MAXMIN)
            self.expect_place(x, y, height, f"after slide {i + 1}")

    def focus_stays(self, wid, seconds=1.0):
        """The focus stays in `wid` for a while: a manager that hands it to a
        new window does so within a few hundred milliseconds."""
        d = self.desktop
        deadline = time.time() + seconds
        while time.time() < deadline:
            self.assertTrue(d.focus_within(wid), "the focus left the window it was in")
            if WM != "none":
                self.assertEqual(d.active_window(), wid, "another window became active")
            time.sleep(0.05)

    def body_drawn(self, x, y):
        """The expanded bar's body shows its note pad and buttons: none of it
        lets the wallpaper through."""
        rows = self.desktop.pixels(x + 8, y + 48, 169, 287)
        wallpaper = rgb(WALLPAPER)
        through = sum(px == wallpaper for row in rows for px in row)
        pad = [px for row in rows[10:180] for px in row[4:150]]
        white = sum(px == (255, 255, 255) for px in pad)
        buttons = [px for row in rows[252 - 48:252 - 48 + 20] for px in row[10:150]]
        grey = sum(max(abs(c - 0xE0) for c in px) <= 0x10 for px in buttons)
        return through, white / len(pad), grey / len(buttons)

    def accepts_focus(self):
        return self.desktop._window(self.bar.wid).get_wm_hints().input

    def activate(self, wid):
        d = self.desktop
        if WM == "none":
            d._window(wid).set_input_focus(desktops.X.RevertToParent, desktops.X.CurrentTime)
            d.x.sync()
        else:
            d.client_message(d.x.screen().root, "_NET_ACTIVE_WINDOW", [2, 0, 0], window=wid)
        wait_for(lambda: d.focus_within(wid), 30, "the focus back in the other window")

    def point_click_and_type(self, at, text, note):
        """A user points at a control, clicks it and types: the keyboard
        reaches the bar and the text the note's file."""
        d, bar = self.desktop, self.bar
        x, y = bar.geometry()[:2]
        d.pointer(x + at[0], y + at[1])
        wait_for(self.accepts_focus, 30, "the bar to accept the focus under the pointer")
        self.click(*at)
        wait_for(lambda: d.focus_within(bar.wid), 30, "the bar to take the focus on a click")
        d.type_text(text)
        wait_for(lambda: text.encode() in (xharness.read_bytes(note) or b""), 60,
                 f"the typed text in {os.path.basename(note)}")

    def bring_twice(self, editor_has_keyboard, back_to_editor):
        """Starts the program again as a launcher does (with a startup id
        stamped with the time of the user's action) and as a key bound to it
        does (with none), while the bar rests shut and an editor has the
        keyboard: the bar opens and takes it, with the caret after the note's
        text."""
        d = self.desktop
        folder = tempfile.mkdtemp(prefix="marglet-x11-")
        with open(os.path.join(folder, "note01.qkn"), "wb") as f:
            f.write(b"first line")
        bar = self.start_bar(folder=folder)
        x, y = bar.geometry()[:2]
        launcher = Launcher(d.connect())
        self.addCleanup(launcher.close)
        note = bar.file("note01.qkn")
        for how, launch_id, typed in (("launcher", launcher.startup_id(), "first lineA"),
                                      ("key", None, "first lineAB")):
            wait_for(editor_has_keyboard, 30, "the editor to have the keyboard")
            second = subprocess.run([bar.file("marglet")], cwd=folder, capture_output=True,
                                    env=dict(d.env(), DESKTOP_STARTUP_ID=launch_id or ""),
                                    timeout=60)
            self.assertEqual(second.returncode, 0, second.stderr)
            self.expect_place(x, y, 343, f"brought by a {how}")
            wait_for(lambda: d.focus_within(bar.wid), 30, f"the keyboard in the bar ({how})")
            self.assertFalse(editor_has_keyboard(), "the editor kept the keyboard")
            if WM not in ("none", "mutter-wayland", "kwin_wayland"):
                self.assertEqual(d.active_window(), bar.wid)
            d.type_text(typed[-1])
            wait_for(lambda: xharness.read_bytes(note) == typed.encode(), 60, f"{typed!r} saved")
            d.screenshot(os.path.join(xharness.ARGS.out, f"desktop-{WM}-brought-{how}.png"),
                         x - 164, 0, 420, 400)
            if launch_id:
                self.assertEqual(d.prop(bar.wid, "_NET_STARTUP_ID"), launch_id.encode())
                wait_for(lambda: launcher.told(f'remove: ID="{launch_id}"'), 30,
                         "the launch's feedback ended")
            # The user leaves the caret at the note's start, goes back to
            # the editor and shuts the bar.
            self.click(*PAD_START)
            back_to_editor()
            wait_for(lambda: not self.accepts_focus(), 30, "the bar to refuse the focus again")
            self.click(*MAXMIN)
            self.expect_place(x, y, 17, f"shut again after the {how}")
        d.close_window(bar.wid)
        self.assertEqual(bar.wait_exit(10), 0)

    def above(self, upper, lower, what):
        d = self.desktop
        try:
            wait_for(lambda: d.is_above(upper, lower), 30, what)
        except AssertionError:
            raise AssertionError(f"{what}: stacking {d.stacking()}, bar state "
                                 f"{d.run('xprop', '-id', str(upper), '_NET_WM_STATE')}") from None

    def cover_bar_with(self, wid, x, y):
        """Moves a window over the bar and raises it, as a program asks for
        its own window (a manager keeps its layers); under a manager it is
        activated too."""
        d = self.desktop
        d.run("xdotool", "windowmove", str(wid), str(x), str(y))
        d._window(wid).configure(stack_mode=desktops.X.Above)
        d.x.sync()
        if WM != "none":
            d.client_message(d.x.screen().root, "_NET_ACTIVE_WINDOW", [2, 0, 0], window=wid)
        wait_for(lambda: self.frame(wid)[0] <= x + 60, 30, "the window moved")


class OneScreen(DesktopCase):
    def test_the_bar_through_a_working_session(self):
        d = self.desktop
        editor = d.open_ordinary_window("Editor")
        bar = self.start_bar()
        x, y = 1920 - 256, 5
        self.expect_place(x, y, 17, "at start")
        self.focus_stays(editor)
        self.assertFalse(d.demands_attention(bar.wid), "the bar demands attention")
        self.assertNotIn("QKS Marglet", d.taskbar_entries())

        self.slide(x, y)
        self.focus_stays(editor, 0.3)
        through, white, grey = self.body_drawn(x, y)
        d.screenshot(os.path.join(xharness.ARGS.out, f"desktop-{WM}-expanded.png"),
                     1920 - 420, 0, 420, 400)
        self.assertEqual(through, 0, "the wallpaper shows through the expanded body")
        self.assertGreater(white, 0.95, "the note pad is not drawn")
        self.assertGreater(grey, 0.3, "the buttons are not drawn")

        # Typing: pointing at the pad and clicking gives the bar the keyboard.
        text = f"typed under {WM}"
        note = bar.file("note01.qkn")
        self.point_click_and_type(PAD, text, note)
        # Back in the editor, the bar takes the keyboard only again when the
        # user picks a note, and the typing goes into that note.
        self.activate(editor)
        wait_for(lambda: not self.accepts_focus(), 30, "the bar to refuse the focus again")
        self.point_click_and_type(TAB2, "second note", bar.file("note02.qkn"))

        # The dialogs: ordinary windows the bar stays in front of, out of the
        # taskbar, even when dragged over the bar and raised.
        self.click(*OPTIONS)
        options = self.dialog("QKS Marglet Options")
        self.settles(options, lambda left, top, w, h: (left, top) == (588, self.centred(options)),
                     "Options at its place")
        # Apply places the bar again by the same rule: it must not move.
        client = d._window(options).translate_coords(d.x.screen().root, 0, 0)
        d.run("xdotool", "mousemove", str(-client.x + 440), str(-client.y + 380), "click", "1")
        wait_for(lambda: len(xharness.read_bytes(bar.file("settings.dat")) or b"") == 512, 30,
                 "Apply to write the settings")
        deadline = time.time() + 0.5
        while time.time() < deadline:
            self.assertEqual(bar.geometry(), (x, y, 185, 343), "the bar moved on Apply")
            time.sleep(0.05)
        self.click(*ABOUT)
        about = self.dialog("About QKS Marglet")
        entries = d.taskbar_entries()
        for wid, title in ((options, "QKS Marglet Options"), (about, "About QKS Marglet")):
            self.assertNotIn(title, entries)
            self.assertIsNone(d.prop(wid, "WM_TRANSIENT_FOR"), title + " is transient")
            self.cover_bar_with(wid, x - 100, y + 20)
            self.above(bar.wid, wid, f"the bar above {title}")
        self.cover_bar_with(editor, x - 200, 0)
        self.above(bar.wid, editor, "the bar above a raised, focused ordinary window")
        through, white, _ = self.body_drawn(x, y)
        self.assertEqual((through, white > 0.95), (0, True), "the bar is not drawn in front")
        self.assertFalse(d.demands_attention(bar.wid), "the bar demands attention")

        # The manager's close saves and ends the program.
        d.close_window(bar.wid)
        self.assertEqual(bar.wait_exit(10), 0)
        self.assertIn(text.encode(), xharness.read_bytes(note))


    def test_starting_it_again_brings_the_bar_forward(self):
        d = self.desktop
        editor = d.open_ordinary_window("Editor")
        self.bring_twice(lambda: d.focus_within(editor), lambda: self.activate(editor))


class TwoMonitors(DesktopCase):
    SIZE = (3840, 1080)
    MONITORS = [(0, 0, 1920, 1080, False), (1920, 0, 1920, 1080, True)]

    def test_the_bar_and_its_dialogs_on_the_primary_monitor(self):
        self.start_bar()
        x, y = 3840 - 256, 5
        self.expect_place(x, y, 17, "at start")
        self.slide(x, y)
        self.click(*OPTIONS)
        options = self.dialog("QKS Marglet Options")
        self.settles(options, lambda left, top, w, h:
                     (left, top) == (1920 + 588, self.centred(options)),
                     "Options at its place on the right monitor")
        self.click(*ABOUT)
        about = self.dialog("About QKS Marglet")
        # Centred on the right monitor, up to the manager's frame.
        self.settles(about, lambda left, top, w, h: abs(left + w / 2 - (1920 + 960)) <= 12
                     and abs(top + h / 2 - 540) <= 30, "About centred on the right monitor")
        self.above(self.bar.wid, options, "the bar above Options")
        self.above(self.bar.wid, about, "the bar above About")

    def test_the_bar_follows_the_primary_monitor(self):
        if WM.startswith("xfwm4"):
            # The bar places itself on the new primary monitor, then xfwm4
            # moves it again by rules of its own; not solved yet.
            self.skipTest("xfwm4 moves the bar after a change of primary monitor")
        self.start_bar()
        self.expect_place(3840 - 256, 5, 17, "at start")
        # The user makes the left monitor the primary one while the bar runs.
        self.desktop.set_monitors([(0, 0, 1920, 1080, True), (1920, 0, 1920, 1080, False)])
        self.expect_place(1920 - 256, 5, 17, "once the left monitor is the primary one")


class SmallScreen(DesktopCase):
    SIZE = (640, 480)

    def test_the_dialogs_open_whole_and_under_the_bar(self):
        self.start_bar()
        x, y = 640 - 256, 5
        self.expect_place(x, y, 17, "at start")
        self.slide(x, y, (343,))
        for button, title in ((OPTIONS, "QKS Marglet Options"), (ABOUT, "About QKS Marglet")):
            self.click(*button)
            wid = self.dialog(title)
            self.settles(wid, lambda left, top, w, h: left >= 0 and top >= 0 and left + w <= 640
                         and top + h <= 480, f"{title} whole on the screen")
            self.above(self.bar.wid, wid, f"the bar above {title}")
        d = self.desktop
        d.screenshot(os.path.join(xharness.ARGS.out, f"desktop-{WM}-640x480.png"), 0, 0, 640, 480)


class ManagerAfterTheBar(DesktopCase):
    MANAGER_LATER = True

    def test_a_bar_started_before_the_manager_is_placed_on_top_and_out_of_the_taskbar(self):
        # As at a login whose autostart entries run before the manager is up.
        d = self.desktop
        self.bar = bar = xharness.Bar(d)
        d.start_manager()
        if WM != "none":
            wait_for(lambda: bar.wid in (d.prop(d.root, "_NET_CLIENT_LIST") or []), 60,
                     "the manager to take the bar on")
            states = {d._atom("_NET_WM_STATE_ABOVE"), d._atom("_NET_WM_STATE_SKIP_TASKBAR")}
            try:
                wait_for(lambda: states <= set(d.prop(bar.wid, "_NET_WM_STATE") or []), 30,
                         "the bar's states kept")
            except AssertionError:
                raise AssertionError(f"the bar's states: {bar.prop('_NET_WM_STATE')}") from None
        self.expect_place(1920 - 256, 5, 17, "once the manager is up")
        self.assertNotIn("QKS Marglet", d.taskbar_entries())
        deadline = time.time() + 1
        while time.time() < deadline:
            self.assertFalse(d.focus_within(bar.wid) or d.active_window() == bar.wid,
                             "the bar took the focus")
            time.sleep(0.05)
        editor = d.open_ordinary_window("Editor")
        self.cover_bar_with(editor, 1920 - 256 - 200, 0)
        self.above(bar.wid, editor, "the bar above a raised, focused ordinary window")
        # And so drawn, once a compositing manager has painted the editor.
        (px, py), colour = STRIP
        wait_for(lambda: d.pixels(1920 - 256 - 100, 200, 1, 1)[0][0] == (255, 255, 255)
                 and d.pixels(1920 - 256 + px, 5 + py, 1, 1)[0][0] == colour, 30,
                 "the editor drawn, and the bar over it")
        d.screenshot(os.path.join(xharness.ARGS.out, f"desktop-{WM}-manager-after.png"),
                     1920 - 520, 0, 520, 400)


def main():
    global WM
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--wm", default="none", choices=list(desktops.WINDOW_MANAGERS))
    args, rest = parser.parse_known_args()
    WM = args.wm
    sys.argv = [sys.argv[0]] + rest
    program = desktops.WINDOW_MANAGERS[WM]
    missing = [c[c.index("--") + 1] if "--" in c else c[0] for c in program
               if not shutil.which(c[c.index("--") + 1] if "--" in c else c[0])]
    if missing:
        print(f"SKIP: {', '.join(missing)} not installed", flush=True)
        sys.exit(77)
    xharness.main()


if __name__ == "__main__":
    main()
