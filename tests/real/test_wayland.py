# The real bar in a Wayland session (--wm mutter-wayland or kwin_wayland,
# headless, with XWayland) beside a native Wayland window maximised under it.
# Through XWayland, as the session comes and when the session asks Qt for
# Wayland: its place, in front of the window once that is clicked, the
# keyboard left in the window, the slide drawn, typing saved, the compositor's
# close and a second start bringing it forward. Without X11 at all it starts
# as a Wayland window and says what it cannot do. Input is the compositor's
# own, so that the compositor routes it and gives the focus by it; the screen
# is read from the compositor.

import os
import sys
import time

from harness import holds, read_bytes, wait_for
from test_desktops import (PAD, WALLPAPER, body_drawn, bring_twice, expect_place,
                           point_click_and_type, slide, start_bar, strip_drawn,
                           taskbar_entries)

ELSEWHERE = (400, 600)  # a point of the maximised window, away from the bar
# A native Wayland window, maximised in one colour, that writes "1" to a
# file while it has the keyboard and "0" while it has not.
WINDOW = r"""
import os, sys, gi
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk
title, colour, report = sys.argv[1:]
window = Gtk.Window(title=title, decorated=False)
css = Gtk.CssProvider()
css.load_from_data(b"window { background: #%s; }" % colour.encode())
Gtk.StyleContext.add_provider_for_screen(Gdk.Screen.get_default(), css, 800)
def told(*_):
    open(report + ".new", "w").write(str(int(window.has_toplevel_focus())))
    os.replace(report + ".new", report)
window.connect("notify::has-toplevel-focus", told)
window.maximize()
window.show()
Gtk.main()
"""


# Opens the window, waits until it is drawn and has the keyboard, and returns
# a function telling whether it has the keyboard.
def open_wayland_window(session, title, colour):
    report = os.path.join(session.home, title + ".focus")
    session.spawn([sys.executable, "-c", WINDOW, title, f"{colour:06x}", report],
                  env={"GDK_BACKEND": "wayland"})
    rgb, (w, h) = tuple(colour.to_bytes(3, "big")), session.size
    wait_for(lambda: session.pixels(w // 2, h // 2, 1, 1)[0][0] == rgb, 60, f"{title!r} drawn")
    wait_for(lambda: read_bytes(report) == b"1", 60, f"{title!r} to have the keyboard")
    return lambda: read_bytes(report) == b"1"


def test_the_bar_through_xwayland(make_session, make_bar, folder):
    session = make_session()
    editor = open_wayland_window(session, "Editor", WALLPAPER)
    x, y = 1920 - 256, 5
    # As the session comes, and when the session asks Qt for Wayland.
    for asks in (None, "wayland"):
        bar = start_bar(make_bar, session, env={"QT_QPA_PLATFORM": asks})
        expect_place(bar, x, y, 17, "at start")
        holds(editor, 1.0, "the window lost the keyboard")
        assert "QKS Marglet" not in taskbar_entries(session)
        assert bar.output().count("uses X11 (XWayland) instead") == (1 if asks else 0), bar.output()
        # The window is raised and activated by a click: the bar stays in
        # front, and the window keeps the keyboard.
        session.click(*ELSEWHERE)
        wait_for(editor, 30, "the window to take the keyboard back")
        assert strip_drawn(bar), "the window covers the bar"
        slide(bar, x, y)
        holds(editor, 0.3, "the window lost the keyboard")
        body_drawn(session, x, y)

        text = f"typed under {session.wm}"
        point_click_and_type(bar, PAD, text, "note01.qkn")
        assert not editor(), "the window kept the keyboard the bar took"
        session.click(*ELSEWHERE)
        wait_for(editor, 30, "the window to take the keyboard back")
        body_drawn(session, x, y)
        session.screenshot(f"{session.wm}-{asks or 'x11'}.png")
        session.close_window(bar.wid)
        assert bar.wait_exit() == 0, bar.output()[-3000:]
        assert text.encode() in bar.file("note01.qkn")
    bring_twice(make_bar, session, folder, editor, lambda: session.click(*ELSEWHERE))


def test_without_x11_the_bar_starts_and_says_what_it_cannot_do(make_session, make_bar):
    told, session = "runs as a Wayland window", make_session()
    bar = make_bar(session, env={"DISPLAY": None, "QT_QPA_PLATFORM": "wayland"}, wait=False)
    wait_for(lambda: told in bar.output(), 60, "the bar to say it runs on Wayland")
    time.sleep(2)  # told once, and still running
    assert bar.proc.poll() is None, bar.output()
    assert bar.output().count(told) == 1, bar.output()
    session.screenshot(f"{session.wm}-native.png")
    assert bar.stop() == 0, bar.output()[-3000:]
