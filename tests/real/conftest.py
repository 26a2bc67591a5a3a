# The command line and fixtures every real-window suite shares. CTest runs a
# suite as `python3 -m pytest -q -p no:cacheprovider tests/real/test_X.py
# --binary ... --skins ... --out ...`; one that cannot run here exits 77,
# which CTest counts as skipped.

import os
import shutil
import tempfile

import pytest

import harness

OPTIONS = {
    "--binary": "the marglet binary, copied into each bar's program folder",
    "--skins": "the skins folder copied beside it",
    "--out": "where screenshots and logs go for a person to look at",
    "--wm": "the window manager or Wayland compositor (harness.WINDOW_MANAGERS, COMPOSITORS)",
    "--build": "the Windows build folder (Wine suites)",
    "--foreground": "the foreground probe .exe (Wine suites)",
    "--setup": "the installer (Wine suites)",
    "--program": "the program folder's zip (Wine suites)",
    "--product-version": "the version the installer names",
    "--deb-dir": "where the Debian package was built",
    "--runs": "how many kills the crash loop makes",
    "--seed": "the crash loop's seed",
}


def pytest_addoption(parser):
    for name, what in OPTIONS.items():
        parser.addoption(name, help=what, default={"--wm": "none"}.get(name))


def pytest_configure(config):
    harness.BINARY = config.getoption("binary")
    harness.SKINS = config.getoption("skins")
    harness.OUT = config.getoption("out") or harness.OUT
    wm = config.getoption("wm")
    if wm not in harness.WINDOW_MANAGERS and wm not in harness.COMPOSITORS:
        raise pytest.UsageError(f"unknown window manager {wm!r}")
    if missing := harness.missing_programs(wm):
        pytest.exit(f"SKIP: {', '.join(missing)} not installed", returncode=77)


# Nothing of the suite can run here (at module level too).
def skip_suite(reason):
    pytest.skip(reason, allow_module_level=True)


def pytest_sessionfinish(session, exitstatus):
    # Skipped, and nothing passed: the suite could not run here.
    stats = session.config.pluginmanager.get_plugin("terminalreporter").stats
    if exitstatus in (0, 5) and stats.get("skipped") and not stats.get("passed"):
        session.exitstatus = 77


def start_session(request, sessions, wm=None, **kwargs):
    try:
        sessions.append(harness.Session(wm or request.config.getoption("wm"), **kwargs))
    except harness.Unavailable as e:
        skip_suite(f"the compositor cannot run here: {e}")
    return sessions[-1]


# Starts sessions (harness.Session's arguments; the window manager from --wm
# unless given) and stops them after the test.
@pytest.fixture
def make_session(request):
    sessions = []
    yield lambda wm=None, **kwargs: start_session(request, sessions, wm, **kwargs)
    for session in reversed(sessions):
        session.stop()


# One session under --wm shared by the suite's tests.
@pytest.fixture(scope="module")
def session(request):
    sessions = []
    yield start_session(request, sessions)
    sessions[0].stop()


# Starts bars (harness.Bar's arguments; in the `session` fixture unless given
# one) and stops them after the test; program folders it made go too.
@pytest.fixture
# It needs make_session so that its bars stop before their sessions do.
def make_bar(request, make_session):
    bars = []

    def make(session=None, **kwargs):
        bar = harness.Bar(session or request.getfixturevalue("session"), **kwargs)
        bars.append((bar, "folder" not in kwargs))
        return bar
    yield make
    for bar, made in reversed(bars):
        bar.stop()
        if made:
            shutil.rmtree(bar.folder, ignore_errors=True)


@pytest.fixture
def bar(make_bar):
    return make_bar()


# An empty program folder, for a test that puts files there first.
@pytest.fixture
def folder():
    path = tempfile.mkdtemp(prefix="marglet-bar-")
    os.chmod(path, 0o755)
    yield path
    shutil.rmtree(path, ignore_errors=True)
