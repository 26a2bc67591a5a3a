#!/usr/bin/env bash
# Every benchmark, each against its baseline measured in the same run.
set -euo pipefail
build=${1:-build}
bin=$build/bin
here=$(dirname "$0")

/usr/bin/python3 "$here/startup.py" --binary "$bin/marglet" --skins "$bin/skins" --bare "$bin/bare_window"
echo
/usr/bin/python3 "$here/idle.py" --binary "$bin/marglet" --skins "$bin/skins" --bare "$bin/bare_window"
echo
echo "One keystroke in the note pad (key event to the note's store being current)"
QT_QPA_PLATFORM=offscreen "$bin/bench_keystroke" 2>/dev/null
