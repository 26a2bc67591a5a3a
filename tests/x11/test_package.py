"""The Debian package as its users get it: Debian's own checkers on the
.deb, then a fresh Debian 12 root made from the mirror, the package
installed there with apt (which must find every dependency), used by an
ordinary user on a private Xvfb of the host, and purged, which must leave
the user's notes. Needs root: it runs debootstrap, chroot and mount.
"""

import argparse
import contextlib
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import xharness
from xharness import XTestCase, read_bytes

DEB_DIR = None
MAXMIN, PAD, CLOSE = (159, 8), (60, 100), (176, 8)
USER = "anna"
NOTES = f"/home/{USER}/.local/share/marglet"
DESKTOP = "usr/share/applications/marglet.desktop"
METAINFO = "usr/share/metainfo/example.qks_soft.marglet.metainfo.xml"


def the_deb():
    found = glob.glob(os.path.join(DEB_DIR, "marglet_*_amd64.deb"))
    assert len(found) == 1, f"not exactly one package in {DEB_DIR}: {found}"
    return os.path.abspath(found[0])


def run(*cmd, timeout=600):
    """Runs a command, shows what it said, and returns that."""
    done = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout,
                          env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    said = (done.stdout + done.stderr).strip()
    print(f"$ {' '.join(cmd)}\n{said}\n(exit {done.returncode})", flush=True)
    if done.returncode:
        raise AssertionError(f"{cmd[0]} failed ({done.returncode}): {said[-2000:]}")
    return said


def mirror():
    """The Debian mirror this machine's apt uses."""
    try:
        with open("/etc/apt/sources.list.d/debian.sources") as f:
            return re.search(r"^URIs:\s*(\S+)", f.read(), re.M).group(1)
    except (OSError, AttributeError):
        return "http://deb.debian.org/debian"


class Checks(unittest.TestCase):
    def test_debian_checkers_pass_and_the_package_holds_what_it_should(self):
        deb = the_deb()
        unpacked = tempfile.mkdtemp(prefix="marglet-deb-")
        self.addCleanup(shutil.rmtree, unpacked)
        run("dpkg-deb", "-x", deb, unpacked)
        # Warnings fail too: each one left has an override that gives its reason.
        for check in (["lintian", "--fail-on", "error,warning", "--info", "--pedantic", deb],
                      ["desktop-file-validate", os.path.join(unpacked, DESKTOP)],
                      ["appstreamcli", "validate", "--no-net", "--pedantic",
                       os.path.join(unpacked, METAINFO)]):
            with self.subTest(check[0]):
                run(*check)
        for path in ("usr/lib/marglet/marglet", "usr/lib/marglet/marglet_network.so",
                     "usr/lib/marglet/skins/Blue/max.gif", DESKTOP, METAINFO,
                     "usr/share/icons/hicolor/48x48/apps/marglet.png",
                     "usr/share/man/man1/marglet.1.gz"):
            with self.subTest(path):
                self.assertTrue(os.path.isfile(os.path.join(unpacked, path)))
        self.assertEqual(os.readlink(os.path.join(unpacked, "usr/bin/marglet")),
                         "../lib/marglet/marglet")
        # Nothing starts the bar at login, and no script runs at install or
        # removal that could reach anyone's home.
        self.assertFalse(os.path.exists(os.path.join(unpacked, "etc")))
        control = os.path.join(unpacked, "DEBIAN")
        run("dpkg-deb", "-e", deb, control)
        self.assertEqual(set(os.listdir(control)) & {"preinst", "postinst", "prerm", "postrm"},
                         set())


class Installed(XTestCase):
    """One Debian 12 root for the class, undone whatever happens."""

    @classmethod
    def setUpClass(cls):
        cls.undo = contextlib.ExitStack()
        try:
            cls.root = tempfile.mkdtemp(prefix="marglet-bookworm-")
            os.chmod(cls.root, 0o755)  # its users must reach their /
            cls.undo.callback(cls.remove_root)
            started = time.monotonic()
            run("debootstrap", "--variant=minbase", "bookworm", cls.root, mirror(), timeout=1200)
            cls.timing = {"debootstrap": time.monotonic() - started}
            # The suites a fresh install has (updates and security too).
            sources = "/etc/apt/sources.list.d/debian.sources"
            if os.path.exists(sources):
                shutil.copy(sources, cls.path("etc/apt/sources.list.d"))
                os.remove(cls.path("etc/apt/sources.list"))
            # The host's X socket folder, so that the bar reaches the host's
            # Xvfb; made here as X makes it, when no server ran yet.
            if not os.path.isdir("/tmp/.X11-unix"):
                os.mkdir("/tmp/.X11-unix")
                os.chmod("/tmp/.X11-unix", 0o1777)
            for source, target, how in (("proc", "proc", ["-t", "proc"]),
                                        ("/dev", "dev", ["--rbind", "--make-rslave"]),
                                        ("/tmp/.X11-unix", "tmp/.X11-unix", ["--bind"])):
                os.makedirs(cls.path(target), exist_ok=True)
                run("mount", *how, source, cls.path(target))
                cls.undo.callback(cls.unmount, cls.path(target))
            shutil.copy(the_deb(), cls.path("tmp"))
            started = time.monotonic()
            cls.chroot("apt-get", "update")
            cls.chroot("apt-get", "install", "-y", "--no-install-recommends",
                       "/tmp/" + os.path.basename(the_deb()))
            cls.timing["apt install"] = time.monotonic() - started
            cls.chroot("useradd", "--create-home", USER)
        except BaseException:
            cls.undo.close()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.undo.close()
        print("times: " + ", ".join(f"{k} {v:.0f} s" for k, v in cls.timing.items()), flush=True)

    @classmethod
    def path(cls, inside):
        return os.path.join(cls.root, inside.lstrip("/"))

    @classmethod
    def chroot(cls, *cmd):
        return run("chroot", cls.root, *cmd)

    @staticmethod
    def unmount(target):
        if subprocess.run(["umount", "--recursive", target]).returncode:
            subprocess.run(["umount", "--recursive", "--lazy", target], check=True)

    @classmethod
    def remove_root(cls):
        # Never into a file system still mounted below it.
        subprocess.run(["rm", "-rf", "--one-file-system", cls.root], check=True)

    def as_user(self):
        """The installed bar's command, run as the user, and the user's environment."""
        with open(self.path("etc/passwd")) as f:
            uid, gid = next(line.split(":")[2:4] for line in f if line.startswith(USER + ":"))
        command = ["chroot", f"--userspec={uid}:{gid}", self.root, "/usr/bin/marglet"]
        return command, {"HOME": f"/home/{USER}", "USER": USER, "LOGNAME": USER,
                         "XDG_DATA_HOME": None, "XDG_CONFIG_HOME": None, "XDG_RUNTIME_DIR": None}

    def notes(self):
        folder = self.path(NOTES)
        return {n: read_bytes(os.path.join(folder, n)) for n in os.listdir(folder)}

    def test_an_ordinary_user_keeps_notes_at_home_across_a_purge(self):
        started = time.monotonic()
        command, env = self.as_user()
        bar = self.start(folder=self.path(f"/home/{USER}"), command=command, env=env)
        bar.click(*MAXMIN)
        bar.wait_for(lambda: bar.geometry()[3] == 343, 30.0, "the expanded bar")
        bar.click(*PAD)
        self.server.run("xdotool", "windowfocus", "--sync", str(bar.wid), check=False)
        self.server.run("xdotool", "type", "--delay", "5", "packaged")
        note = self.path(NOTES + "/note01.qkn")
        bar.wait_for(lambda: read_bytes(note) == b"packaged", 30.0, "the typed note on disk")
        self.server.screenshot(os.path.join(xharness.ARGS.out, "package-typed.png"),
                               1920 - 300, 0, 300, 360)

        # A second start leaves the running bar alone.
        again = self.start(folder=bar.folder, command=command, env=env, wait=False)
        self.assertEqual(again.wait_exit(30), 0)
        self.assertIn(f"already running for {NOTES}", again.output())
        self.assertIsNone(bar.proc.poll())

        bar.click(*CLOSE)
        self.assertEqual(bar.wait_exit(30), 0)
        kept = self.notes()
        self.chroot("apt-get", "purge", "-y", "marglet")
        self.assertFalse(os.path.lexists(self.path("usr/lib/marglet")))
        self.assertFalse(os.path.lexists(self.path("usr/bin/marglet")))
        self.assertEqual(self.notes(), kept)
        self.assertEqual(kept["note01.qkn"], b"packaged")
        self.timing["bar and purge"] = time.monotonic() - started


def main():
    global DEB_DIR
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--deb-dir", required=True)
    args, rest = parser.parse_known_args()
    DEB_DIR = args.deb_dir
    sys.argv = [sys.argv[0]] + rest
    if os.geteuid() != 0:
        print("SKIP: needs root for debootstrap, chroot and mount", flush=True)
        sys.exit(77)
    xharness.main()


if __name__ == "__main__":
    main()
