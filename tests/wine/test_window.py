"""The Windows program folder, as a user unpacks it, under Wine on Xvfb with
a window manager: the real marglet.exe driven and read from outside, as the
Linux bar is (xdotool, xprop, pixels).

python3 test_window.py --build BUILD --foreground PROBE.exe [--out DIR] [--wm openbox]
"""

import argparse
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "x11"))
import desktops  # noqa: E402
import xharness  # noqa: E402
from winebar import Bar, Wine  # noqa: E402

ARGS = None
CLOSE = (169 + 7, 1 + 7)
PAD = (60, 100)
SAVE_AS = (16 + 76, 254 + 10)
OPTIONS = (16 + 37, 306 + 9)
ABOUT = (95 + 37, 306 + 9)
MAGENTA = (255, 0, 255)
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
# The design's outline: (row, first, last) columns kept on sample rows.
OUTLINE = [(0, 2, 182), (1, 1, 183), (8, 0, 184), (16, 2, 182), (17, 6, 178), (20, 2, 182),
           (23, 0, 184), (200, 0, 184), (337, 1, 183), (342, 6, 178)]


wait_for = desktops.wait_for
read_bytes = xharness.read_bytes


class WindowsProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="marglet-wine-")
        cls.program = os.path.join(cls.root, "Marglet")
        # Exactly what `make windows` zips: nothing of the build is on WINEPATH.
        subprocess.run(["cmake", "--install", ARGS.build, "--prefix", cls.program], check=True,
                       stdout=subprocess.DEVNULL)
        cls.wine = Wine(cls.root, ARGS.foreground)

    @classmethod
    def tearDownClass(cls):
        cls.wine.end_server()
        shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.out = ARGS.out
        self.desk = desktops.Desktop(ARGS.wm)
        self.folder = tempfile.mkdtemp(prefix="folder-", dir=self.root)
        shutil.rmtree(self.folder)
        shutil.copytree(self.program, self.folder)

    def tearDown(self):
        self.wine.end_server()
        self.desk.stop()

    def start(self, settings=None):
        return Bar(self, self.folder, settings)

    def type_into_pad(self, bar, text):
        bar.click(*PAD)
        time.sleep(0.3)
        self.desk.run("xdotool", "type", "--delay", "30", text)

    def test_on_top_shaped_fading_and_typed_notes_are_saved(self):
        self.desk.set_root_colour(0xFF00FF)
        editor = self.desk.open_ordinary_window("editor")
        bar = self.start(xharness.settings_bytes(3840, 70, "Blue", 1))
        # On top from the start, before anyone clicked it, out of the
        # taskbar, and the keyboard left with the program that had it.
        self.assertEqual(bar.geometry(), (1920 - 256, 5, 185, 17))
        time.sleep(1)
        self.assertEqual(self.desk.active_window(), editor)
        state = bar.prop("_NET_WM_STATE")
        self.assertIn("_NET_WM_STATE_ABOVE", state)
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", state)
        wait_for(lambda: bar.opacity() == 100, 5, "the collapsed band's alpha 100")
        self.desk.screenshot(os.path.join(self.out, "wine-collapsed.png"), 1920 - 300, 0, 300, 40)

        bar.slide(343)
        self.assertEqual(bar.geometry(), (1920 - 256, 5, 185, 343))
        self.assertIn("_NET_WM_STATE_ABOVE", bar.prop("_NET_WM_STATE"))
        rows = self.desk.pixels(1920 - 256, 5, 185, 343)
        for row, first, last in OUTLINE:
            for col in range(185):
                cut = rows[row][col] == MAGENTA
                self.assertEqual(cut, not first <= col <= last, f"row {row} column {col}")
        wait_for(lambda: bar.opacity() == 240, 5, "the expanded band's alpha 240")

        self.type_into_pad(bar, "typed under Wine")
        wait_for(lambda: b"typed under Wine" in (read_bytes(bar.file("note01.qkn")) or b""), 20,
                 "note01.qkn to hold the typed text")
        self.desk.screenshot(os.path.join(self.out, "wine-expanded.png"), 1920 - 300, 0, 300, 360)
        bar.slide(17)
        self.assertEqual(bar.geometry()[:2], (1920 - 256, 5))

        bar.click(*CLOSE)
        self.assertEqual(bar.proc.wait(30), 0)

    def test_starting_it_again_brings_the_bar_forward(self):
        with open(os.path.join(self.folder, "note01.qkn"), "wb") as f:
            f.write(b"first line")
        editor = self.desk.open_ordinary_window("editor")
        bar = self.start()
        wait_for(lambda: self.desk.active_window() == editor, 10, "the editor active")
        display = self.desk.display
        self.assertNotEqual(self.wine.foreground(display), "QKS Marglet")
        second = subprocess.run(["wine", "marglet.exe"], cwd=self.folder, timeout=60,
                                env=self.wine.with_display(display),
                                stdout=bar.log, stderr=subprocess.STDOUT)
        self.assertEqual(second.returncode, 0)
        wait_for(lambda: bar.geometry()[3] == 343, 20, "the bar open")
        # In front for Windows programs, with the keyboard in its note pad
        # after the text; Wine 8 leaves the X focus to the manager.
        wait_for(lambda: self.wine.foreground(display) == "QKS Marglet", 20, "the bar in front")
        self.wine.foreground(display, "type", "a")
        wait_for(lambda: read_bytes(bar.file("note01.qkn")) == b"first linea", 20,
                 "the key saved after the note's text")
        self.desk.screenshot(os.path.join(self.out, "wine-brought.png"), 1920 - 300, 0, 300, 360)
        bar.click(*CLOSE)
        self.assertEqual(bar.proc.wait(30), 0)

    def test_options_apply_moves_the_bar_and_the_dialogs_have_no_taskbar_button(self):
        bar = self.start(xharness.settings_bytes(3840, 70, "Blue", 1))
        bar.slide(343)
        bar.click(*OPTIONS)
        dialog = wait_for(lambda: bar.windows("QKS Marglet Options"), 20, "Options")[0]
        wait_for(lambda: bar.geometry(dialog)[2] > 0, 10, "Options mapped")
        time.sleep(1)
        self.desk.screenshot(os.path.join(self.out, "wine-options.png"))
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", bar.prop("_NET_WM_STATE", dialog))
        # Classic style, then Apply: the bar moves on the next tick.
        bar.click(8 + 8 + 8, 112 + 96 + 8, dialog)
        bar.click(400 + 40, 368 + 12, dialog)
        wait_for(lambda: bar.geometry()[:2] == (1920 - 239, 0), 10, "the classic position")
        stored = read_bytes(bar.file("settings.dat"))
        self.assertEqual(stored[0:2], b"\x06\x0e")
        self.assertIn("_NET_WM_STATE_ABOVE", bar.prop("_NET_WM_STATE"))

        bar.click(*ABOUT)
        about = wait_for(lambda: bar.windows("About QKS Marglet"), 20, "About")[0]
        time.sleep(1)
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", bar.prop("_NET_WM_STATE", about))
        self.desk.screenshot(os.path.join(self.out, "wine-about.png"))
        bar.click(*CLOSE)
        self.assertEqual(bar.proc.wait(30), 0)

    def test_start_at_sign_in_is_chosen_in_options(self):
        bar = self.start()
        bar.slide(343)
        bar.click(*OPTIONS)
        dialog = wait_for(lambda: bar.windows("QKS Marglet Options"), 20, "Options")[0]
        wait_for(lambda: bar.geometry(dialog)[2] > 0, 10, "Options mapped")
        time.sleep(1)
        program = '"z:' + os.path.join(self.folder, "marglet.exe").replace("/", "\\") + '"'

        def run_value():
            done = subprocess.run(["wine", "reg", "query", RUN_KEY, "/v", "Marglet"],
                                  env=self.wine.with_display(self.desk.display),
                                  capture_output=True, text=True, timeout=60)
            return done.stdout.lower()

        for tick in (True, False):
            bar.click(8 + 7, 400 + 8, dialog)  # the box
            bar.click(400 + 40, 368 + 12, dialog)  # Apply
            wait_for(lambda: (program.lower() in run_value()) == tick, 30,
                     "the Run value " + ("naming the program" if tick else "removed"))
            if tick:
                self.desk.screenshot(os.path.join(self.out, "wine-options-autostart.png"))
        bar.click(*CLOSE)
        self.assertEqual(bar.proc.wait(30), 0)

    def test_a_note_is_exported_through_the_systems_save_as_dialog(self):
        bar = self.start()
        bar.slide(343)
        self.type_into_pad(bar, "exported text")
        bar.click(*SAVE_AS)
        dialog = wait_for(lambda: bar.windows("Save As"), 20, "the Save As dialog")[0]
        wait_for(lambda: self.desk.active_window() == dialog, 10, "the dialog to take the keyboard")
        self.desk.run("xdotool", "type", "--delay", "30", "exported")
        self.desk.run("xdotool", "key", "Return")
        wait_for(lambda: read_bytes(bar.file("exported.txt")) == b"exported text", 20,
                 "exported.txt beside the program")
        bar.click(*CLOSE)
        self.assertEqual(bar.proc.wait(30), 0)

    def test_the_end_of_the_session_saves_the_notes(self):
        bar = self.start()
        bar.slide(343)
        self.type_into_pad(bar, "kept at log-off")
        # At once, before the pause after typing would save it anyway.
        subprocess.run(["wineboot", "--end-session"], env=self.wine.with_display(self.desk.display),
                       check=False, timeout=60)
        bar.proc.wait(30)
        self.assertIn(b"kept at log-off", read_bytes(bar.file("note01.qkn")) or b"")

    def test_a_program_folder_that_refuses_files_sends_the_notes_to_local_app_data(self):
        # As under C:\Program Files for an ordinary user: a folder that
        # cannot be written, here a read-only mount, since root may write
        # anything else.
        xharness.require("mount")
        with open(os.path.join(self.folder, "note01.qkn"), "wb") as f:
            f.write(b"from the program folder")
        subprocess.run(["mount", "--bind", self.folder, self.folder], check=True)
        try:
            subprocess.run(["mount", "-o", "remount,bind,ro", self.folder], check=True)
            bar = self.start()
            user = pwd.getpwuid(os.getuid()).pw_name
            local = os.path.join(self.wine.prefix, "drive_c", "users", user, "AppData", "Local",
                                 "marglet")
            # The notes came along, and the user is told where they are now.
            wait_for(lambda: read_bytes(os.path.join(local, "note01.qkn")), 20,
                     "the note copied to %LOCALAPPDATA%")
            wait_for(lambda: [w for w in bar.windows("QKS Marglet") if w != bar.wid], 20,
                     "the message saying where the notes are")
            bar.slide(343)
            self.type_into_pad(bar, " and more")
            wait_for(lambda: read_bytes(os.path.join(local, "note01.qkn")) ==
                     b"from the program folder and more", 20, "the note saved there")
            os.kill(bar.proc.pid, signal.SIGKILL)
            bar.proc.wait(10)
        finally:
            subprocess.run(["umount", self.folder], check=False)
        self.assertEqual(read_bytes(os.path.join(self.folder, "note01.qkn")),
                         b"from the program folder")

    def test_the_managers_close_saves_the_notes(self):
        bar = self.start()
        bar.slide(343)
        self.type_into_pad(bar, "kept at close")
        self.desk.close_window(bar.wid)
        self.assertEqual(bar.proc.wait(30), 0)
        self.assertIn(b"kept at close", read_bytes(bar.file("note01.qkn")) or b"")

    def test_a_killed_bar_leaves_no_lock_behind(self):
        bar = self.start()
        # Wine gives the first process of a new server the same id every
        # time: a lock judged by process ids would find itself still held.
        os.kill(bar.proc.pid, signal.SIGKILL)
        bar.proc.wait(10)
        self.wine.end_server()
        again = self.start()
        self.assertEqual(again.geometry()[2:], (185, 17))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--out", default=tempfile.gettempdir())
    parser.add_argument("--wm", default="openbox")
    parser.add_argument("--foreground", required=True, help="the foreground probe (.exe)")
    ARGS, rest = parser.parse_known_args()
    os.makedirs(ARGS.out, exist_ok=True)
    if not shutil.which("wine"):
        print("wine is not installed")
        return 77
    program = unittest.main(argv=[sys.argv[0]] + rest, verbosity=2, exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
