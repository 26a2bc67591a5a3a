# The real bar starting without a window manager: its place, what it asks of
# managers, what it leaves on disk and in memory, and the start at login
# chosen in Options.

import os
import signal
import subprocess
import time

import harness
from harness import CLOSE, OPTIONS, TITLE, wait_for


def test_a_first_start_shows_the_shut_bar_on_top_and_loads_no_network(bar):
    assert bar.geometry() == (1920 - 256, 5, 185, 17)
    # No taskbar entry, and a window of its own: one transient for the
    # program would be stacked with the program's dialogs.
    assert {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR"} <= bar.state()
    assert bar.session.prop(bar.wid, "WM_TRANSIENT_FOR") is None
    assert bar.file("settings.dat") == b""
    bar.session.screenshot("collapsed.png", 1920 - 300, 0, 300, 40)
    # The network libraries cost every start a few milliseconds; only an
    # update check needs them.
    time.sleep(0.5)  # past the work done after the first paint
    loaded = harness.read_bytes(f"/proc/{bar.proc.pid}/maps")
    assert b"libQt6Widgets" in loaded and b"libQt6Network" not in loaded


def test_start_at_login_is_chosen_in_options_and_a_login_starts_the_bar(session, make_bar,
                                                                        tmp_path):
    # Installed as `make install` lays it out, under a prefix that the
    # entry's Exec must quote.
    prefix = tmp_path / "my prefix"
    folder = prefix / "lib" / "marglet"
    os.makedirs(folder)
    os.makedirs(prefix / "bin")
    harness.copy_program(folder)
    os.symlink("../lib/marglet/marglet", prefix / "bin" / "marglet")
    env = {"XDG_CONFIG_HOME": str(tmp_path / "config"), "XDG_CONFIG_DIRS": str(tmp_path / "xdg")}
    entry = tmp_path / "config" / "autostart" / "marglet.desktop"
    bar = make_bar(folder=str(folder), env=env)
    bar.slide(343)
    bar.click(*OPTIONS)
    dialog = wait_for(lambda: bar.windows("QKS Marglet Options"), 30, "Options")[0]
    left, top = session.geometry(dialog)[:2]
    for x, y in ((15, 408), (440, 380)):  # the box, Apply
        session.click(left + x, top + y)
    wait_for(entry.exists, 30, "the entry written")
    assert f'\nExec="{prefix}/bin/marglet"\n' in entry.read_text()
    subprocess.run(["desktop-file-validate", entry], check=True)
    bar.click(*CLOSE)
    assert bar.wait_exit() == 0

    # A session that runs the autostart entries brings the bar up.
    subprocess.run(["dex", "--autostart"], env=dict(session.env(), **env), check=True, timeout=30)
    started = wait_for(lambda: [w for w in session.windows(TITLE)
                                if session.geometry(w)[2] == harness.WIDTH], 60,
                       "the bar started by the login")[0]
    pid = session.prop(started, "_NET_WM_PID")[0]
    try:
        assert os.path.realpath(f"/proc/{pid}/exe") == str(folder / "marglet")
    finally:
        os.kill(pid, signal.SIGKILL)
