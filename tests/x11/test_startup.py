"""Start-up of the real bar: place, size, stay-on-top, a second start, closing."""

import os
import re
import shutil
import subprocess
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

    def test_a_second_start_ends_and_leaves_one_bar(self):
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

    def test_start_at_login_is_chosen_in_options_and_a_login_starts_the_bar(self):
        # Installed as `make install` lays it out, under a prefix that the
        # entry's Exec must quote.
        root = tempfile.mkdtemp(prefix="marglet-login-")
        self.addCleanup(shutil.rmtree, root, ignore_errors=True)
        prefix = os.path.join(root, "my prefix")
        folder = os.path.join(prefix, "lib", "marglet")
        os.makedirs(folder)
        os.makedirs(os.path.join(prefix, "bin"))
        xharness.copy_program(folder)
        os.symlink("../lib/marglet/marglet", os.path.join(prefix, "bin", "marglet"))
        env = {"XDG_CONFIG_HOME": os.path.join(root, "config"),
               "XDG_CONFIG_DIRS": os.path.join(root, "xdg")}
        entry = os.path.join(root, "config", "autostart", "marglet.desktop")
        bar = self.start(folder=folder, env=env)
        bar.click(159, 8)
        bar.wait_for(lambda: bar.geometry()[3] == 343, 30, "the bar expanded")
        bar.click(53, 315)
        dialog = bar.wait_for(lambda: self.server.run("xdotool", "search", "--onlyvisible",
                                                      "--name", "^QKS Marglet Options$",
                                                      check=False).split(), 30, "Options")[0]

        def click(x, y):
            info = self.server.run("xwininfo", "-id", dialog)
            left, top = (int(re.search(f"Absolute upper-left {a}:\\s+(-?\\d+)", info).group(1))
                         for a in "XY")
            self.server.run("xdotool", "mousemove", str(left + x), str(top + y), "click", "1")

        for tick, what in ((True, "the entry written"), (False, "the entry removed")):
            click(8 + 7, 400 + 8)  # the box
            time.sleep(0.5)
            self.assertEqual(os.path.exists(entry), not tick, "the box alone changed the entry")
            click(400 + 40, 368 + 12)  # Apply
            bar.wait_for(lambda: os.path.exists(entry) == tick, 30, what)
            if tick:
                self.server.screenshot(os.path.join(xharness.ARGS.out, "options-autostart.png"))
                with open(entry) as f:
                    self.assertIn(f'\nExec="{prefix}/bin/marglet"\n', f.read())
                subprocess.run(["desktop-file-validate", entry], check=True)
        click(8 + 7, 400 + 8)
        click(400 + 40, 368 + 12)
        bar.wait_for(lambda: os.path.exists(entry), 30, "the entry written again")
        bar.click(169 + 7, 1 + 7)
        self.assertEqual(bar.wait_exit(), 0)

        # A session that runs the autostart entries brings the bar up.
        subprocess.run(["dex", "--autostart"], env=dict(self.server.env(), **env), check=True,
                       timeout=30)
        wid = bar.wait_for(lambda: [w for w in self.server.run(
            "xdotool", "search", "--onlyvisible", "--name", "^QKS Marglet$", check=False).split()
            if bar.width_of(w) == 185], 60, "the bar started by the login")[0]
        pid = int(self.server.run("xdotool", "getwindowpid", wid))
        self.addCleanup(subprocess.run, ["kill", "-KILL", str(pid)], capture_output=True)
        self.assertEqual(os.path.realpath(f"/proc/{pid}/exe"), os.path.join(folder, "marglet"))


if __name__ == "__main__":
    xharness.main()
