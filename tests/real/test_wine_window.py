# The Windows program folder, as a user unpacks it, under Wine on Xvfb with
# openbox: the real marglet.exe driven and read from outside as the Linux bar
# is, and the foreground window as Windows programs see it through a probe.

import os
import pwd
import shutil
import signal
import subprocess
import tempfile
import time

import pytest

from conftest import skip_suite
from harness import (ABOUT, CLOSE, OPEN, OPTIONS, PAD, SAVE_AS, SHUT, Bar, Wine, outline_faults,
                     settings_bytes, wait_for, write_bytes)

ALPHA_100 = settings_bytes(3840, 70, "Blue", 1)

if not shutil.which("wine"):
    skip_suite("wine is not installed")


@pytest.fixture(scope="module")
def wine(request):
    root = tempfile.mkdtemp(prefix="marglet-wine-")
    # Exactly what `make windows` zips: nothing of the build is on WINEPATH.
    subprocess.run(["cmake", "--install", request.config.getoption("build"), "--prefix",
                    os.path.join(root, "Marglet")], check=True, stdout=subprocess.DEVNULL)
    wine = Wine(root)
    wine.program = os.path.join(root, "Marglet")
    yield wine
    wine.end_server()
    shutil.rmtree(root, ignore_errors=True)


class Desk:
    def __init__(self, session, wine, probe):
        self.session, self.wine, self.probe, self.bars = session, wine, probe, []
        self.folder = os.path.join(tempfile.mkdtemp(dir=os.path.dirname(wine.program)), "Marglet")
        shutil.copytree(wine.program, self.folder)

    def start(self, settings=None):
        self.bars.append(Bar(self.session, self.folder, settings=settings, wine=self.wine))
        return self.bars[-1]

    def run(self, *command, stdout=subprocess.DEVNULL):
        return subprocess.run(command, cwd=self.folder, timeout=60, stdout=stdout, text=True,
                              env=self.wine.with_display(self.session.display))

    # The foreground window's title, or with ("type", TEXT) keys typed
    # through the system's input.
    def foreground(self, *args):
        return self.run("wine", self.probe, *args, stdout=subprocess.PIPE).stdout.strip()


@pytest.fixture
def desk(session, wine, request):
    desk = Desk(session, wine, request.config.getoption("foreground"))
    yield desk
    for bar in desk.bars:
        bar.kill()
    wine.end_server()
    shutil.rmtree(os.path.dirname(desk.folder), ignore_errors=True)


def type_into_pad(bar, text):
    bar.click(*PAD)
    time.sleep(0.3)
    bar.session.run("xdotool", "type", "--delay", "30", text)


def close(bar):
    bar.click(*CLOSE)
    assert bar.wait_exit(30) == 0


def test_on_top_shaped_fading_typed_notes_saved_and_dialogs_out_of_the_taskbar(desk):
    desk.session.set_root_colour(0xFF00FF)
    editor = desk.session.open_ordinary_window("editor")
    bar = desk.start(ALPHA_100)
    # On top from the start, before anyone clicked it, out of the taskbar,
    # and the keyboard left with the program that had it.
    assert bar.geometry() == (1920 - 256, 5, 185, SHUT)
    time.sleep(1)
    assert desk.session.active_window() == editor
    assert {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR"} <= bar.state()
    wait_for(lambda: bar.opacity() == 100, 5, "the shut band's alpha 100")

    bar.slide(OPEN)
    assert bar.geometry() == (1920 - 256, 5, 185, OPEN)
    assert "_NET_WM_STATE_ABOVE" in bar.state()
    assert outline_faults(desk.session, 1920 - 256, 5, (255, 0, 255)) == []
    wait_for(lambda: bar.opacity() == 240, 5, "the open band's alpha 240")

    type_into_pad(bar, "typed under Wine")
    wait_for(lambda: b"typed under Wine" in (bar.file("note01.qkn") or b""), 20, "the note saved")
    for button, title in ((OPTIONS, "QKS Marglet Options"), (ABOUT, "About QKS Marglet")):
        bar.click(*button)
        dialog = wait_for(lambda: bar.windows(title), 20, title)[0]
        wait_for(lambda: (desk.session.geometry(dialog) or [0] * 4)[2] > 0, 10, "it mapped")
        time.sleep(1)
        assert "_NET_WM_STATE_SKIP_TASKBAR" in desk.session.state(dialog)
        if button == OPTIONS:
            # Classic style, then Apply: the bar moves on the next tick.
            left, top = desk.session.geometry(dialog)[:2]
            for x, y in ((24, 216), (440, 380)):
                desk.session.click(left + x, top + y)
            wait_for(lambda: bar.geometry()[:2] == (1920 - 239, 0), 10, "the classic position")
            assert bar.file("settings.dat")[0:2] == b"\x06\x0e"
            assert "_NET_WM_STATE_ABOVE" in bar.state()
    bar.slide(SHUT)
    assert bar.geometry()[:2] == (1920 - 239, 0)
    close(bar)


def test_starting_it_again_brings_the_bar_forward(desk):
    write_bytes(os.path.join(desk.folder, "note01.qkn"), b"first line")
    editor = desk.session.open_ordinary_window("editor")
    bar = desk.start()
    wait_for(lambda: desk.session.active_window() == editor, 10, "the editor active")
    assert desk.foreground() != "QKS Marglet"
    assert desk.run("wine", "marglet.exe").returncode == 0
    wait_for(lambda: bar.geometry()[3] == OPEN, 20, "the bar open")
    # In front for Windows programs, with the keyboard in its note pad after
    # the text; Wine 8 leaves the X focus to the manager.
    wait_for(lambda: desk.foreground() == "QKS Marglet", 20, "the bar in front")
    desk.foreground("type", "a")
    wait_for(lambda: bar.file("note01.qkn") == b"first linea", 20, "the key after the text")
    close(bar)


def test_a_note_is_exported_through_the_systems_save_as_dialog(desk):
    bar = desk.start()
    bar.slide(OPEN)
    type_into_pad(bar, "exported text")
    bar.click(*SAVE_AS)
    dialog = wait_for(lambda: bar.windows("Save As"), 20, "the Save As dialog")[0]
    wait_for(lambda: desk.session.active_window() == dialog, 10, "the dialog's keyboard")
    desk.session.run("xdotool", "type", "--delay", "30", "exported")
    desk.session.key("Return")
    wait_for(lambda: bar.file("exported.txt") == b"exported text", 20, "exported.txt")
    close(bar)


@pytest.mark.parametrize("end", ["the session", "the manager's close"])
def test_the_end_of_the_session_and_the_managers_close_save_the_notes(desk, end):
    bar = desk.start()
    bar.slide(OPEN)
    type_into_pad(bar, "kept at the end")
    # At once, before the pause after typing would save it anyway.
    if end == "the session":
        desk.run("wineboot", "--end-session")
    else:
        desk.session.close_window(bar.wid)
    assert bar.wait_exit(30) == 0
    assert b"kept at the end" in (bar.file("note01.qkn") or b"")


def test_a_program_folder_that_refuses_files_sends_the_notes_to_local_app_data(desk):
    # As under C:\Program Files for an ordinary user: a folder that cannot be
    # written, here a read-only mount, since root may write anything else.
    write_bytes(os.path.join(desk.folder, "note01.qkn"), b"from the program folder")
    if subprocess.run(["mount", "--bind", desk.folder, desk.folder]).returncode:
        pytest.skip("root may not mount here")
    try:
        subprocess.run(["mount", "-o", "remount,bind,ro", desk.folder], check=True)
        bar = desk.start()
        local = os.path.join(desk.wine.prefix, "drive_c", "users", pwd.getpwuid(os.getuid())[0],
                             "AppData", "Local", "marglet", "note01.qkn")
        # The notes came along, and the user is told where they are now.
        wait_for(lambda: os.path.exists(local), 20, "the note copied to %LOCALAPPDATA%")
        wait_for(bar.message_windows, 20, "the message")
        bar.slide(OPEN)
        type_into_pad(bar, " and more")
        wait_for(lambda: open(local, "rb").read() == b"from the program folder and more", 20,
                 "the note saved there")
        bar.kill()
    finally:
        subprocess.run(["umount", desk.folder], check=False)
    assert bar.file("note01.qkn") == b"from the program folder"


def test_a_killed_bar_leaves_no_lock_behind(desk):
    # Wine gives the first process of a new server the same id every time:
    # a lock judged by process ids would find itself still held.
    os.kill(desk.start().proc.pid, signal.SIGKILL)
    desk.bars[0].wait_exit(10)
    desk.wine.end_server()
    assert desk.start().geometry()[2:] == (185, SHUT)
