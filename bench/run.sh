#!/usr/bin/env bash
# Every benchmark, each figure beside the same figure for its baseline,
# measured in the same run. All run under Xvfb.
set -euo pipefail
build=${1:-build}
bin=$build/bin
benches=$build/bench
here=$(dirname "$0")
common=(--binary "$bin/marglet" --skins "$bin/skins")

/usr/bin/python3 "$here/startup.py" "${common[@]}" --bare "$benches/bare_window"
echo
/usr/bin/python3 "$here/idle.py" "${common[@]}" --bare "$benches/bare_window"
echo
/usr/bin/python3 "$here/slide.py" "${common[@]}"
echo
xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" env QT_QPA_PLATFORM=xcb \
    "$benches/bench_keystroke" 2>/dev/null
echo
/usr/bin/python3 "$here/longline.py" "${common[@]}" --bare "$benches/bare_pad"
