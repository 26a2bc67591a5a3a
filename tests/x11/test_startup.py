"""Start-up of the real bar: place, size, stay-on-top, a second start, closing."""

import os
import tempfile
import time

import xharness
from xharness import XTestCase


class StartUp(XTestCase):
    def test_first_start_shows_the_collapsed_bar_at_the_xp_position(self):
        bar = self.start()
        self.assertEqual(bar.geometry(), (1920 - 256, 5, 185, 17))
        self.assertIn("_NET_WM_STATE_ABOVE", bar.prop("_NET_WM_STATE"))
        # No taskbar entry, and a window of its own: a window transient for
        # the program would be stacked with the program's dialogs.
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", bar.prop("_NET_WM_STATE"))
        self.assertNotIn("window id", bar.prop("WM_TRANSIENT_FOR"))
        self.assertIn("QKS Marglet", bar.prop("WM_NAME"))
        self.assertEqual(os.path.getsize(bar.file("settings.dat")), 0)
        self.server.screenshot(os.path.join(xharness.ARGS.out, "collapsed.png"), 1920 - 300, 0, 300, 40)

    def test_a_resting_bar_has_not_loaded_the_network_libraries(self):
        # They cost every start a few milliseconds; only an update check
        # needs them.
        bar = self.start()
        time.sleep(0.5)  # past the work done after the first paint
        with open(f"/proc/{bar.proc.pid}/maps") as maps:
            loaded = maps.read()
        self.assertIn("libQt6Widgets", loaded)
        self.assertNotIn("libQt6Network", loaded)

    def test_a_second_start_leaves_the_running_bar_alone(self):
        bar = self.start()
        import subprocess
        second = subprocess.run([bar.file("marglet")], env=self.server.env(), cwd=bar.folder,
                                capture_output=True, timeout=20)
        self.assertEqual(second.returncode, 0)
        self.assertEqual(len(self.server.run("xdotool", "search", "--onlyvisible", "--name",
                                             "^QKS Marglet$", check=False).split()), 1)
        self.assertIsNone(bar.proc.poll())

    def test_a_lock_left_empty_by_a_killed_start_does_not_keep_the_bar_away(self):
        folder = tempfile.mkdtemp(prefix="marglet-x11-")
        xharness.copy_program(folder)
        lock = os.path.join(folder, ".marglet.lock")
        open(lock, "wb").close()
        a_minute_ago = time.time() - 60
        os.utime(lock, (a_minute_ago, a_minute_ago))
        bar = self.start(folder=folder)
        self.assertEqual(bar.geometry()[2:], (185, 17))

    def test_close_button_ends_the_program_with_success(self):
        bar = self.start()
        bar.click(169 + 7, 1 + 7)
        self.assertEqual(bar.wait_exit(), 0)


if __name__ == "__main__":
    xharness.main()
