# Two commands do everything on a fresh Debian 12 machine:
#   make run    installs what is missing, builds, installs the bar for this
#               user (RUN_PREFIX) and starts it from there
#   make test   the same set-up, then every test, headless
# and two more do the same for Windows, cross-built and tested under Wine:
#   make windows        the program folder, its zip and the installer, in build-windows
#   make windows-test   the same, then every test under Wine
# and for Debian and Ubuntu:
#   make deb            the package DEB_DIR/marglet_<version>_amd64.deb
#   make deb-test       the same, then its checks and a real install (root)
BUILD_DIR ?= build
WINDOWS_DIR ?= build-windows
DEB_DIR ?= build-deb
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 600
# Where `make run` installs the bar and starts it: its program folder,
# RUN_PREFIX/lib/marglet, keeps the notes, out of reach of `make clean`.
RUN_PREFIX ?= $(HOME)/.local
# More arguments for ctest, such as -LE faults to leave out the fault suite.
CTEST_ARGS ?=
# The window managers the real-window tests run the bar under (`make
# desktops` runs only those tests), with the session bus two of them need;
# then the Wayland sessions: KWin's compositor, XWayland, Qt's Wayland
# platform, PipeWire and GStreamer to read mutter's screen, and Python's D-Bus
# and GTK for the native window beside the bar; and Syncthing, which keeps two
# desks' notes in step in the two-desk tests.
DESKTOP_PACKAGES = dbus mutter kwin-x11 kwin-style-breeze xfwm4 openbox picom fluxbox icewm \
	kwin-wayland xwayland qt6-wayland pipewire wireplumber gstreamer1.0-pipewire \
	gstreamer1.0-tools gstreamer1.0-plugins-base python3-dbus python3-gi gir1.2-gtk-3.0 \
	syncthing
# The accessibility bus, its Python client and a screen reader speaking
# through speech-dispatcher, for the tests labelled a11y (`make a11y`).
A11Y_PACKAGES = at-spi2-core python3-pyatspi orca speech-dispatcher

.PHONY: all deps desktop-deps build run test desktops a11y faults stress install format format-check bench crashloop art fuzz clean windows windows-test deb deb-test

all: build

deps:
	@scripts/deps.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	cmake --install $(BUILD_DIR) --prefix $(RUN_PREFIX)
	$(RUN_PREFIX)/lib/marglet/marglet

desktop-deps:
	@scripts/deps.sh $(DESKTOP_PACKAGES) $(A11Y_PACKAGES)

test: build desktop-deps
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# Qt for Windows is built once from Debian's source into ~/.cache/marglet
# (MARGLET_CACHE) and reused; the first build takes about 20 minutes more.
windows:
	CMAKE_FLAGS="$(CMAKE_FLAGS)" JOBS=$(JOBS) scripts/windows.sh build $(WINDOWS_DIR)

windows-test: windows
	CTEST_ARGS="$(CTEST_ARGS)" JOBS=$(JOBS) scripts/windows.sh test $(WINDOWS_DIR)

# Debian's own tooling on a copy of the tree in DEB_DIR, so that what it
# leaves behind stays out of the source tree; the package is the one .deb
# written beside the copy.
deb:
	@scripts/deps.sh debhelper
	rm -rf $(DEB_DIR)
	mkdir -p $(DEB_DIR)/source
	tar -c --exclude-vcs --exclude='./build*' --exclude=./out --exclude=__pycache__ . \
	    | tar -x -C $(DEB_DIR)/source
	cd $(DEB_DIR)/source && dpkg-buildpackage -b -us -uc -j$(JOBS)

# lintian, the desktop entry and AppStream validators, then the package
# installed from Debian's mirror into a fresh Debian 12 root and used there
# by an ordinary user. Needs root.
deb-test: deb
	@scripts/deps.sh lintian desktop-file-utils appstream debootstrap
	/usr/bin/python3 -m pytest -q -p no:cacheprovider tests/real/test_package.py --deb-dir $(DEB_DIR) --out $(DEB_DIR)

# Only the bar under each window manager: mutter, kwin_x11, xfwm4 (with and
# without its compositor), openbox (with and without picom), fluxbox, icewm
# and none, on one screen, two monitors and a 640x480 screen; and in the
# Wayland sessions of mutter and KWin (label wayland).
desktops: build desktop-deps
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) -L desktops $(CTEST_ARGS)

# Only the bar as screen readers meet it: AT-SPI and Orca under openbox.
a11y: build desktop-deps
	ctest --test-dir $(BUILD_DIR) --output-on-failure -L a11y $(CTEST_ARGS)

# Only the fault suite: full disks, read-only and immutable files, special
# files, other programs, a dying X server. Needs root.
faults: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -L faults $(CTEST_ARGS)

# The tests labelled stress at their full length: the fault suite (root),
# then the crash loop with RUNS kills (default 200) instead of CTest's 20.
stress: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -L stress -E '^x11_crashloop$$' $(CTEST_ARGS)
	$(MAKE) --no-print-directory crashloop

install: build
	cmake --install $(BUILD_DIR) --prefix $(or $(PREFIX),/usr/local)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@scripts/deps.sh clang-format
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

bench: build
	bench/run.sh $(BUILD_DIR)

# Kills the real bar RUNS times at random moments and checks the notes after
# each kill; SEED=n repeats a run.
crashloop: build
	/usr/bin/python3 -m pytest -q -s -p no:cacheprovider tests/real/test_crashloop.py --binary $(BUILD_DIR)/bin/marglet --skins $(BUILD_DIR)/bin/skins --runs $(or $(RUNS),200)$(if $(SEED), --seed $(SEED))

# Each parser of outside bytes under libFuzzer for FUZZ_SECONDS, in build-fuzz.
fuzz:
	@scripts/deps.sh clang libclang-rt-14-dev
	FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run.sh build-fuzz

# Redraws every image from its generator; the results are committed.
art:
	@scripts/deps.sh giflib-tools
	/usr/bin/python3 assets/art/draw.py

clean:
	rm -rf $(BUILD_DIR) $(WINDOWS_DIR) $(DEB_DIR)
