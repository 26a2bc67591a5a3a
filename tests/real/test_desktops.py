# The real bar under a window manager (--wm, or none), as its users run it:
# its place, its body drawn, the keyboard focus, typing, its stacking over its
# dialogs and other windows, being brought forward by a second start and the
# manager's close; on one screen, on two monitors and on a small screen. The
# shapes shared with the Wayland sessions live here too.

import os
import subprocess

import pytest
from Xlib import X, Xatom
from Xlib.protocol import rq

import harness
from harness import ABOUT, MAXMIN, OPEN, OPTIONS, SHUT, STRIP, TAB2, WIDTH, holds, wait_for

PAD = (90, 150)
PAD_START = (9, 55)  # before the first character of the note
WALLPAPER = 0x206030  # no colour the bar has
WAYLAND = tuple(harness.COMPOSITORS)


# python3-xlib 0.33 declares RRSetMonitor but cannot pack it (its MonitorInfo
# has a variable length), so the requests are spelled out flat.
class SetMonitor(rq.Request):
    _request = rq.Struct(
        rq.Card8("opcode"), rq.Opcode(43), rq.RequestLength(), rq.Window("window"),
        rq.Card32("name"), rq.Bool("primary"), rq.Bool("automatic"), rq.LengthOf("outputs", 2),
        rq.Int16("x"), rq.Int16("y"), rq.Card16("width"), rq.Card16("height"),
        rq.Card32("mm_width"), rq.Card32("mm_height"), rq.List("outputs", rq.Card32Obj))


class DeleteMonitor(rq.Request):
    _request = rq.Struct(rq.Card8("opcode"), rq.Opcode(44), rq.RequestLength(),
                         rq.Window("window"), rq.Card32("name"))


# (x, y, w, h, primary) RandR monitors in place of the session's old ones.
# Monitors last as long as the connection that made them. The server's one
# output goes to the primary: a manager that marks the output primary
# (mutter) makes Qt take its monitor as the primary.
def set_monitors(s, monitors):
    output = s.root.xrandr_get_screen_resources().outputs[:1]
    opcode = s.x.query_extension("RANDR").major_opcode
    owner = next((i for i, m in enumerate(monitors) if m[4]), 0)
    name = lambda i: s.atom(f"VIRTUAL-{i + 1}")  # noqa: E731
    # An output belongs to one monitor at a time: the old ones go first.
    for i in range(getattr(s, "monitors", 0)):
        DeleteMonitor(display=s.x.display, opcode=opcode, window=s.root, name=name(i))
    s.monitors = len(monitors)
    for i, (x, y, w, h, primary) in enumerate(monitors):
        SetMonitor(display=s.x.display, opcode=opcode, window=s.root, name=name(i),
                   primary=primary, automatic=False, x=x, y=y, width=w, height=h,
                   mm_width=w * 254 // 960, mm_height=h * 254 // 960,  # 96 dpi
                   outputs=output if i == owner else [])
    s.x.sync()


# Titles a taskbar lists: managed windows not skipping the taskbar, of type
# normal, dialog or none.
def taskbar_entries(s):
    listed = {None, s.atom("_NET_WM_WINDOW_TYPE_NORMAL"), s.atom("_NET_WM_WINDOW_TYPE_DIALOG")}
    return [(s.prop(w, "_NET_WM_NAME") or s.prop(w, "WM_NAME") or b"").decode()
            for w in s.prop(s.root, "_NET_CLIENT_LIST") or []
            if "_NET_WM_STATE_SKIP_TASKBAR" not in s.state(w)
            and (s.prop(w, "_NET_WM_WINDOW_TYPE") or [None])[0] in listed]


# A session in the wallpaper's colour, on the monitors given before its
# manager starts.
@pytest.fixture
def desk(make_session):
    def make(monitors=None, manager_later=False, **kwargs):
        session = make_session(manager_later=True, **kwargs)
        if monitors:
            set_monitors(session, monitors)
        if not manager_later:
            session.start_manager()
        session.set_root_colour(WALLPAPER)
        return session
    return make


def start_bar(make_bar, session, **kwargs):
    bar = make_bar(session, **kwargs)
    if session.wm != "none":
        # Managed: the manager has made its decisions about the new window.
        wait_for(lambda: session.prop(bar.wid, "WM_STATE"), 60, "the bar managed")
    # On screen in full: mutter fades a new window in, and takes no clicks
    # on it meanwhile.
    wait_for(lambda: strip_drawn(bar), 30, "the title strip drawn")
    return bar


# The bar's title strip is on the screen: nothing covers it.
def strip_drawn(bar, at=None):
    (px, py), colour = STRIP
    left, top = at or bar.geometry()[:2]
    return bar.session.pixels(left + px, top + py, 1, 1)[0][0] == colour


def expect_place(bar, x, y, height, what):
    wait_for(lambda: bar.geometry() == (x, y, WIDTH, height), 30,
             lambda: f"the bar at {x},{y} {height} px tall {what}; it is at {bar.geometry()}")


def slide(bar, x, y, heights=(OPEN, SHUT, OPEN)):
    for i, height in enumerate(heights):
        bar.click(*MAXMIN)
        expect_place(bar, x, y, height, f"after slide {i + 1}")


# The open bar's body shows its note pad and buttons: none of it lets the
# wallpaper through.
def body_drawn(session, x, y):
    rows = session.pixels(x + 8, y + 48, 169, 287)
    wallpaper = tuple(WALLPAPER.to_bytes(3, "big"))
    through = sum(px == wallpaper for row in rows for px in row)
    pad = [px for row in rows[10:180] for px in row[4:150]]
    buttons = [px for row in rows[204:224] for px in row[10:150]]
    grey = sum(max(abs(c - 0xE0) for c in px) <= 0x10 for px in buttons)
    assert through == 0, "the wallpaper shows through the open body"
    assert pad.count((255, 255, 255)) > 0.95 * len(pad), "the note pad is not drawn"
    assert grey > 0.3 * len(buttons), "the buttons are not drawn"


def focus_stays(session, wid, seconds):
    # A manager that hands the focus to a new window does so within a few
    # hundred milliseconds.
    holds(lambda: session.focus_within(wid) and (session.wm == "none"
                                                 or session.active_window() == wid),
          seconds, "the focus left the window it was in")


# A user points at a control, clicks it and types: the keyboard reaches the
# bar and the text the note's file.
def point_click_and_type(bar, at, text, note):
    s = bar.session
    x, y = bar.geometry()[:2]
    if s.compositor:
        s.compositor.move(x + at[0], y + at[1])
    else:
        s.run("xdotool", "mousemove", str(x + at[0]), str(y + at[1]))
    wait_for(lambda: s.accepts_focus(bar.wid), 30, "the bar to accept the focus under the pointer")
    bar.click(*at)
    wait_for(lambda: s.focus_within(bar.wid), 30, "the bar to take the focus on a click")
    s.type_text(text)
    wait_for(lambda: text.encode() in (bar.file(note) or b""), 60, f"the typed text in {note}")


# What a desktop launcher does for a program it starts, on a connection of
# its own: a startup id stamped with the server's time of the user's action,
# and the startup notifications the program sends back to the root, in pieces.
class Launcher:
    def __init__(self, session):
        self.x, self.said = session.connect(), b""
        self.root, self.stamp = self.x.screen().root, self.x.intern_atom("_MARGLET_LAUNCH")
        self.root.change_attributes(event_mask=X.PropertyChangeMask)
        self.kinds = {self.x.intern_atom(n)
                      for n in ("_NET_STARTUP_INFO_BEGIN", "_NET_STARTUP_INFO")}

    def startup_id(self):
        self.root.change_property(self.stamp, Xatom.STRING, 8, b"")
        while (e := self._next()).type != X.PropertyNotify or e.atom != self.stamp:
            pass
        return f"marglet-test-{os.getpid()}_TIME{e.time}"

    def told(self, message):
        while self.x.pending_events():
            self._next()
        return message.encode() + b"\0" in self.said

    def _next(self):
        e = self.x.next_event()
        if e.type == X.ClientMessage and e.client_type in self.kinds:
            self.said += bytes(e.data[1])
        return e


# Starts the program again as a launcher does (with a startup id stamped with
# the time of the user's action) and as a key bound to it does (with none),
# while the bar rests shut and an editor has the keyboard: the bar opens and
# takes it, with the caret after the note's text.
def bring_twice(make_bar, session, folder, editor_has_keyboard, back_to_editor):
    harness.write_bytes(os.path.join(folder, "note01.qkn"), b"first line")
    bar = start_bar(make_bar, session, folder=folder)
    x, y = bar.geometry()[:2]
    launcher = Launcher(session)
    try:
        for how, launch_id, typed in (("launcher", launcher.startup_id(), "first lineA"),
                                      ("key", None, "first lineAB")):
            wait_for(editor_has_keyboard, 30, "the editor to have the keyboard")
            second = subprocess.run([bar.path("marglet")], cwd=folder, capture_output=True,
                                    env=dict(session.env(), DESKTOP_STARTUP_ID=launch_id or ""),
                                    timeout=60)
            assert second.returncode == 0, second.stderr
            expect_place(bar, x, y, OPEN, f"brought by a {how}")
            wait_for(lambda: session.focus_within(bar.wid), 30, f"the keyboard in the bar ({how})")
            # A Wayland window hears it lost the keyboard a moment later.
            wait_for(lambda: not editor_has_keyboard(), 30, "the editor to lose the keyboard")
            if session.wm not in ("none", *WAYLAND):
                assert session.active_window() == bar.wid
            session.type_text(typed[-1])
            wait_for(lambda: bar.file("note01.qkn") == typed.encode(), 60, f"{typed!r} saved")
            session.screenshot(f"desktop-{session.wm}-brought-{how}.png", x - 164, 0, 420, 400)
            if launch_id:
                assert session.prop(bar.wid, "_NET_STARTUP_ID") == launch_id.encode()
                wait_for(lambda: launcher.told(f'remove: ID="{launch_id}"'), 30,
                         "the launch's feedback ended")
            # The user leaves the caret at the note's start, goes back to the
            # editor and shuts the bar.
            bar.click(*PAD_START)
            back_to_editor()
            wait_for(lambda: not session.accepts_focus(bar.wid), 30, "the bar to refuse the focus")
            bar.click(*MAXMIN)
            expect_place(bar, x, y, SHUT, f"shut again after the {how}")
    finally:
        launcher.x.close()
    session.close_window(bar.wid)
    assert bar.wait_exit() == 0


# Whether window a is drawn above window b, by the server's own order of the
# root's children: it holds under any manager.
def is_above(session, a, b):
    def frame_of(wid):
        while (parent := session.window(wid).query_tree().parent.id) != session.root.id:
            wid = parent
        return wid
    order = [w.id for w in session.root.query_tree().children]
    return order.index(frame_of(a)) > order.index(frame_of(b))


def above(session, upper, lower, what):
    wait_for(lambda: is_above(session, upper, lower), 30,
             lambda: f"{what}; the bar's state: {session.state(upper)}")


# Moves a window over the bar and raises it, as a program asks for its own
# window; under a manager it is activated too.
def cover_bar_with(session, wid, x, y):
    session.run("xdotool", "windowmove", str(wid), str(x), str(y))
    session.window(wid).configure(stack_mode=X.Above)
    session.x.sync()
    if session.wm != "none":
        session.activate(wid)
    wait_for(lambda: session.frame(wid)[0] <= x + 60, 30, "the window moved")


# Centred down the screen by the dialog's own height, rounded up; a manager's
# frame is not known when the dialog is placed.
def centred(session, wid, height=1080):
    return (height - session.window(wid).get_geometry().height + 1) // 2


# Opens Options and About from the open bar: each whole on the screen and at
# its place (a check of its frame, or None), an ordinary window out of the
# taskbar that the bar stays in front of, even when it is dragged over the
# bar and raised.
def open_dialogs(bar, size, places, apply=False):
    s, (x, y) = bar.session, bar.geometry()[:2]
    for button, title, place in zip((OPTIONS, ABOUT), ("QKS Marglet Options", "About QKS Marglet"),
                                    places):
        bar.click(*button)
        wid = wait_for(lambda: bar.windows(title), 60,
                       lambda: f"{title}; the bar said {bar.output()[-1500:]}")[0]
        # A manager may map a window before it has placed and framed it.
        wait_for(lambda: (lambda x, y, w, h: 0 <= x and 0 <= y and x + w <= size[0] and y + h
                          <= size[1] and (not place or place(s, wid, x, y, w, h)))(*s.frame(wid)),
                 30, lambda: f"{title} whole at its place; it is at {s.frame(wid)}")
        if apply and button == OPTIONS:
            # Apply places the bar again by the same rule: it must not move.
            left, top = s.geometry(wid)[:2]
            s.click(left + 440, top + 380)
            wait_for(lambda: len(bar.file("settings.dat") or b"") == 512, 30, "the settings saved")
            holds(lambda: bar.geometry() == (x, y, WIDTH, OPEN), 0.5, "the bar moved on Apply")
        assert title not in taskbar_entries(s)
        assert s.prop(wid, "WM_TRANSIENT_FOR") is None, f"{title} is transient"
        cover_bar_with(s, wid, x - 100, y + 20)
        above(s, bar.wid, wid, f"the bar above {title}")


def test_the_bar_through_a_working_session(desk, make_bar, folder):
    s = desk()
    editor = s.open_ordinary_window("Editor")
    back_to_editor = lambda: wait_for(lambda: s.activate(editor), 30, "the editor active")  # noqa
    bar = start_bar(make_bar, s)
    x, y = 1920 - 256, 5
    expect_place(bar, x, y, SHUT, "at start")
    focus_stays(s, editor, 1.0)
    assert "_NET_WM_STATE_DEMANDS_ATTENTION" not in bar.state()
    assert "QKS Marglet" not in taskbar_entries(s)

    slide(bar, x, y)
    focus_stays(s, editor, 0.3)
    s.screenshot(f"desktop-{s.wm}-expanded.png", 1920 - 420, 0, 420, 400)
    body_drawn(s, x, y)
    # Pointing at the pad and clicking gives the bar the keyboard; back in
    # the editor, it takes the keyboard again only when the user picks a
    # note, and the typing goes into that note.
    text = f"typed under {s.wm}"
    point_click_and_type(bar, PAD, text, "note01.qkn")
    back_to_editor()
    wait_for(lambda: not s.accepts_focus(bar.wid), 30, "the bar to refuse the focus again")
    point_click_and_type(bar, TAB2, "second note", "note02.qkn")

    open_dialogs(bar, (1920, 1080), (lambda s, w, x, y, *_: (x, y) == (588, centred(s, w)), None),
                 apply=True)
    cover_bar_with(s, editor, x - 200, 0)
    above(s, bar.wid, editor, "the bar above a raised, focused ordinary window")
    body_drawn(s, x, y)
    assert "_NET_WM_STATE_DEMANDS_ATTENTION" not in bar.state()
    # The manager's close saves and ends the program.
    s.close_window(bar.wid)
    assert bar.wait_exit() == 0
    assert text.encode() in bar.file("note01.qkn")

    back_to_editor()
    bring_twice(make_bar, s, folder, lambda: s.focus_within(editor), back_to_editor)


TWO_MONITORS = [(0, 0, 1920, 1080, False), (1920, 0, 1920, 1080, True)]
# The screen, its monitors, and where Options and About go.
LAYOUTS = {
    "two monitors, the right one primary": (
        (3840, 1080), TWO_MONITORS, (
            lambda s, w, x, y, *_: (x, y) == (1920 + 588, centred(s, w)),
            # Centred on the right monitor, up to the manager's frame.
            lambda s, w, x, y, wd, h: abs(x + wd / 2 - 2880) <= 12 and abs(y + h / 2 - 540) <= 30)),
    "a small screen": ((640, 480), None, (None, None)),
}


@pytest.mark.parametrize("layout", LAYOUTS)
def test_the_dialogs_open_whole_at_their_place_and_under_the_bar(desk, make_bar, layout):
    size, monitors, places = LAYOUTS[layout]
    s = desk(size=size, monitors=monitors)
    bar = start_bar(make_bar, s)
    expect_place(bar, size[0] - 256, 5, SHUT, "at start")
    slide(bar, size[0] - 256, 5, (OPEN,))
    open_dialogs(bar, size, places)
    s.screenshot(f"desktop-{s.wm}-{size[0]}x{size[1]}.png", size[0] - 640, 0, 640, 480)
    # The user makes the left monitor the primary one while the bar runs:
    # the bar follows it (xfwm4 moves it again by rules of its own).
    if monitors and not s.wm.startswith("xfwm4"):
        set_monitors(s, [(0, 0, 1920, 1080, True), (1920, 0, 1920, 1080, False)])
        expect_place(bar, 1920 - 256, 5, OPEN, "once the left monitor is the primary one")


def test_a_bar_started_before_the_manager_is_placed_on_top_and_out_of_the_taskbar(desk, make_bar):
    # As at a login whose autostart entries run before the manager is up.
    s = desk(manager_later=True)
    bar = make_bar(s)
    s.start_manager()
    if s.wm != "none":
        wait_for(lambda: bar.wid in (s.prop(s.root, "_NET_CLIENT_LIST") or []), 60,
                 "the manager to take the bar on")
        wait_for(lambda: {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR"} <= bar.state(), 30,
                 lambda: f"the bar's states kept: {bar.state()}")
    expect_place(bar, 1920 - 256, 5, SHUT, "once the manager is up")
    assert "QKS Marglet" not in taskbar_entries(s)
    holds(lambda: not s.focus_within(bar.wid) and s.active_window() != bar.wid, 1,
          "the bar took the focus")
    editor = s.open_ordinary_window("Editor")
    cover_bar_with(s, editor, 1920 - 256 - 200, 0)
    above(s, bar.wid, editor, "the bar above a raised, focused ordinary window")
    # And so drawn, once a compositing manager has painted the editor.
    wait_for(lambda: s.pixels(1920 - 356, 200, 1, 1)[0][0] == (255, 255, 255)
             and strip_drawn(bar, (1920 - 256, 5)), 30, "the editor drawn, and the bar over it")
    s.screenshot(f"desktop-{s.wm}-manager-after.png", 1920 - 520, 0, 520, 400)
