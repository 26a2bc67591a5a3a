#!/usr/bin/env bash
# An install gives a working program folder, a link on PATH, a desktop entry
# and the icon.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }

if [ -f "$build/bin/marglet.exe" ]; then
    # Windows: the prefix is the program folder, whole on its own.
    for f in marglet.exe marglet_network.dll Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll \
             Qt6Network.dll platforms/qwindows.dll imageformats/qgif.dll \
             styles/qwindowsvistastyle.dll skins/Blue/background.gif; do
        [ -f "$prefix/$f" ] || fail "$f is not in the program folder"
    done
    # Every library a program file asks for that is not the system's own
    # (Qt's, the compiler's) must be there, or Windows refuses to start it.
    while IFS= read -r -d '' binary; do
        for dll in $(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\tDLL Name: //p'); do
            case $dll in
                Qt6*|lib*|marglet*) [ -f "$prefix/$dll" ] ||
                    fail "$(basename "$binary") needs $dll, which is not in the folder" ;;
            esac
        done
    done < <(find "$prefix" \( -name '*.exe' -o -name '*.dll' \) -print0)
    echo "1 passed, 0 failed"
    exit 0
fi
[ -x "$prefix/lib/marglet/marglet" ] || fail "no program in lib/marglet"
ls "$prefix"/lib/marglet/marglet_network.* >/dev/null 2>&1 ||
    fail "the update check's network module is not beside the program"
desktop=$prefix/share/applications/marglet.desktop
for f in lib/marglet/skins/Blue/{background,buttonarea,close,max,min}.gif \
         share/applications/marglet.desktop share/icons/hicolor/32x32/apps/marglet.png; do
    [ -f "$prefix/$f" ] || fail "$f is not installed"
done
[ -L "$prefix/bin/marglet" ] || fail "bin/marglet is not a link"
[ "$(readlink -f "$prefix/bin/marglet")" = "$(readlink -f "$prefix/lib/marglet/marglet")" ] ||
    fail "bin/marglet does not lead to the program"
grep -qx 'Exec=marglet' "$desktop" || fail "desktop entry does not start marglet"
grep -qx 'Icon=marglet' "$desktop" || fail "desktop entry names no icon"
! command -v desktop-file-validate >/dev/null || desktop-file-validate "$desktop"
echo "1 passed, 0 failed"
