# The Debian package as its users get it (--deb-dir): Debian's own checkers
# on the .deb, then a fresh Debian 12 root made from the mirror, the package
# installed there with apt (which must find every dependency), used by an
# ordinary user on a private Xvfb of the host, and purged, which must leave
# the user's notes. Needs root: it runs debootstrap, chroot and mount.

import contextlib
import glob
import os
import re
import shutil
import subprocess

import pytest

from conftest import skip_suite
from harness import CLOSE, read_bytes, wait_for

if os.geteuid() != 0:
    skip_suite("needs root for debootstrap, chroot and mount")

USER = "anna"
NOTES = f"/home/{USER}/.local/share/marglet"
DESKTOP = "usr/share/applications/marglet.desktop"
METAINFO = "usr/share/metainfo/example.qks_soft.marglet.metainfo.xml"
SOURCES = "/etc/apt/sources.list.d/debian.sources"


@pytest.fixture(scope="module")
def deb(request):
    found = glob.glob(os.path.join(request.config.getoption("deb_dir"), "marglet_*_amd64.deb"))
    assert len(found) == 1, f"not exactly one package: {found}"
    return os.path.abspath(found[0])


# Runs a command and shows what it said.
def run(*cmd, timeout=600):
    done = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout,
                          env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    said = (done.stdout + done.stderr).strip()
    print(f"$ {' '.join(cmd)}\n{said}\n(exit {done.returncode})", flush=True)
    assert done.returncode == 0, f"{cmd[0]} failed ({done.returncode}): {said[-2000:]}"


@pytest.mark.parametrize("check", ["lintian", "desktop-file-validate", "appstreamcli"])
def test_debian_checkers_pass(deb, tmp_path, check):
    # Warnings fail too: each one left has an override that gives its reason.
    run("dpkg-deb", "-x", deb, str(tmp_path))
    run(*{"lintian": ["lintian", "--fail-on", "error,warning", "--info", "--pedantic", deb],
          "desktop-file-validate": ["desktop-file-validate", str(tmp_path / DESKTOP)],
          "appstreamcli": ["appstreamcli", "validate", "--no-net", "--pedantic",
                           str(tmp_path / METAINFO)]}[check])


def test_the_package_holds_what_it_should_and_runs_nothing_of_its_own(deb, tmp_path):
    run("dpkg-deb", "-x", deb, str(tmp_path))
    for path in ("usr/lib/marglet/marglet", "usr/lib/marglet/marglet_network.so",
                 "usr/lib/marglet/skins/Blue/max.gif", DESKTOP, METAINFO,
                 "usr/share/icons/hicolor/48x48/apps/marglet.png",
                 "usr/share/man/man1/marglet.1.gz"):
        assert (tmp_path / path).is_file(), path
    assert os.readlink(tmp_path / "usr/bin/marglet") == "../lib/marglet/marglet"
    # Nothing starts the bar at login, and no script runs at install or
    # removal that could reach anyone's home.
    assert not (tmp_path / "etc").exists()
    run("dpkg-deb", "-e", deb, str(tmp_path / "DEBIAN"))
    assert not {"preinst", "postinst", "prerm", "postrm"} & set(os.listdir(tmp_path / "DEBIAN"))


def unmount(target):
    if subprocess.run(["umount", "--recursive", target]).returncode:
        subprocess.run(["umount", "--recursive", "--lazy", target], check=True)


# One Debian 12 root with the package installed and the user made, undone
# whatever happens.
@pytest.fixture(scope="module")
def root(deb):
    with contextlib.ExitStack() as undo:
        root = subprocess.run(["mktemp", "-d", "/tmp/marglet-bookworm-XXXXXX"], check=True,
                              capture_output=True, text=True).stdout.strip()
        os.chmod(root, 0o755)  # its users must reach their /
        # Never into a file system still mounted below it.
        undo.callback(subprocess.run, ["rm", "-rf", "--one-file-system", root], check=True)
        inside = lambda path: os.path.join(root, path.lstrip("/"))  # noqa: E731
        with open(SOURCES) as f:
            mirror = re.search(r"^URIs:\s*(\S+)", f.read(), re.M).group(1)
        run("debootstrap", "--variant=minbase", "bookworm", root, mirror, timeout=1200)
        # The suites a fresh install has (updates and security too).
        shutil.copy(SOURCES, inside("etc/apt/sources.list.d"))
        os.remove(inside("etc/apt/sources.list"))
        # The host's X socket folder, so that the bar reaches the host's
        # Xvfb; made here as X makes it, when no server ran yet.
        os.makedirs("/tmp/.X11-unix", mode=0o1777, exist_ok=True)
        os.chmod("/tmp/.X11-unix", 0o1777)
        for source, target, how in (("proc", "proc", ["-t", "proc"]),
                                    ("/dev", "dev", ["--rbind", "--make-rslave"]),
                                    ("/tmp/.X11-unix", "tmp/.X11-unix", ["--bind"])):
            os.makedirs(inside(target), exist_ok=True)
            run("mount", *how, source, inside(target))
            undo.callback(unmount, inside(target))
        shutil.copy(deb, inside("tmp"))
        run("chroot", root, "apt-get", "update")
        run("chroot", root, "apt-get", "install", "-y", "--no-install-recommends",
            "/tmp/" + os.path.basename(deb))
        run("chroot", root, "useradd", "--create-home", USER)
        yield inside


def test_an_ordinary_user_keeps_notes_at_home_across_a_purge(root, session, make_bar):
    with open(root("etc/passwd")) as f:
        uid, gid = next(line.split(":")[2:4] for line in f if line.startswith(USER + ":"))
    command = ["chroot", f"--userspec={uid}:{gid}", root("/"), "/usr/bin/marglet"]
    env = {"HOME": f"/home/{USER}", "USER": USER, "LOGNAME": USER, "XDG_DATA_HOME": None,
           "XDG_CONFIG_HOME": None, "XDG_RUNTIME_DIR": None}
    home = root(f"/home/{USER}")
    bar = make_bar(folder=home, command=command, env=env)
    bar.slide(343)
    bar.type_into_pad("packaged")
    note = root(NOTES + "/note01.qkn")
    wait_for(lambda: read_bytes(note) == b"packaged", 30, "the typed note on disk")
    session.screenshot("package-typed.png", 1920 - 300, 0, 300, 360)

    # A second start leaves the running bar alone.
    again = make_bar(folder=home, command=command, env=env, wait=False)
    assert again.wait_exit(30) == 0
    assert f"already running for {NOTES}" in again.output()
    assert bar.proc.poll() is None

    bar.click(*CLOSE)
    assert bar.wait_exit(30) == 0
    notes = lambda: {n: read_bytes(os.path.join(root(NOTES), n))  # noqa: E731
                     for n in os.listdir(root(NOTES))}
    kept = notes()
    run("chroot", root("/"), "apt-get", "purge", "-y", "marglet")
    assert not os.path.lexists(root("usr/lib/marglet"))
    assert not os.path.lexists(root("usr/bin/marglet"))
    assert notes() == kept and kept["note01.qkn"] == b"packaged"
