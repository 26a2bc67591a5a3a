#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the bar need, when
# they are missing. Without root or sudo it prints the one command to run.
set -euo pipefail

packages=(
    # build
    g++ make cmake qt6-base-dev libgl-dev libxcb1-dev
    # the bar's stand-in for Arial, so captions fit as designed
    fonts-liberation2
    # real-window tests: a virtual X server and tools that drive it, a
    # checker and a runner of autostart entries, and the suites' runner
    xvfb xauth xdotool x11-utils python3-xlib desktop-file-utils dex python3-pytest
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

install=(apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}")
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    sudo=(sudo)
else
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with:  sudo ${install[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# A stale package list makes installs fail; refresh it once, then install.
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
"${sudo[@]}" "${install[@]}"
