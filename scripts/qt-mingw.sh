#!/usr/bin/env bash
# Makes Qt 6.4.2 for 64-bit Windows (mingw-w64) available to the Windows
# build, and prints its prefix on the last line of its output.
#
# Qt is built from Debian 12's own source package (qt6-base 6.4.2+dfsg-10,
# with Debian's patches) into a cache folder outside the repository, and
# reused from there when it is complete. A tarball of such a build (made by
# `--pack`) is unpacked instead of building when its checksum is the one
# pinned below. Only what the bar and its tests use is built: Core, Gui,
# Widgets, Network, Test, the windows/offscreen/minimal platforms and GIF.
#
#   scripts/qt-mingw.sh            build or reuse, print the prefix
#   scripts/qt-mingw.sh --pack F   also write the build to the tarball F
#
# MARGLET_CACHE        the cache folder (default ~/.cache/marglet)
# QT_MINGW_TARBALL     a tarball to try first (default: the first of the
#                      usual places below that exists)
set -euo pipefail

qt_version=6.4.2
deb_version=6.4.2+dfsg-10
# The checksum of a tarball this script accepts without building.
tarball_sha256=4f324a7f573eba2fbe5aa8d44c6f0b5a6ccafde1d4fa967124b20366dd558a06
# Raised whenever the recipe below changes, so that an old build is redone.
recipe=1

here=$(cd "$(dirname "$0")/.." && pwd)
cache=${MARGLET_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/marglet}
prefix=$cache/qt6-mingw-$qt_version
stamp=$prefix/.marglet-recipe
jobs=${JOBS:-$(nproc)}
pack=
if [ "${1:-}" = --pack ]; then
    pack=$(realpath -m "${2:?--pack needs a file name}")
fi

log() { echo "qt-mingw: $*" >&2; }

"$here/scripts/deps.sh" g++-mingw-w64-x86-64-posix ninja-build qt6-base-dev-tools \
    dpkg-dev xz-utils >&2

# The toolchain file lives in the prefix, so that a moved cache still works.
write_toolchain() {
    cat > "$prefix/mingw-w64-x86_64.cmake" <<EOF
# Debian 12's mingw-w64 (posix threads) for 64-bit Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   \${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER \${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  \${MINGW_TRIPLE}-windres)
set(CMAKE_AR     /usr/bin/\${MINGW_TRIPLE}-ar     CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/\${MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
# Target headers, libraries and packages only from the mingw sysroot and
# this Qt; programs (moc, rcc, uic) from the host's Qt of the same version.
get_filename_component(_marglet_qt "\${CMAKE_CURRENT_LIST_DIR}" ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH /usr/\${MINGW_TRIPLE} \${_marglet_qt})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}

finish() {
    write_toolchain
    echo "$recipe" > "$stamp"
    if [ -n "$pack" ]; then
        tar -C "$(dirname "$prefix")" -czf "$pack" --transform "s,^$(basename "$prefix"),qt6-mingw," \
            "$(basename "$prefix")"
        log "packed $pack: sha256 $(sha256sum "$pack" | cut -d' ' -f1)"
    fi
    echo "$prefix"
    exit 0
}

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$recipe" ]; then
    log "reusing $prefix"
    finish
fi

rm -rf "$prefix"
mkdir -p "$cache"

# A tarball of the same build saves the twenty minutes of building.
candidates=()
[ -n "${QT_MINGW_TARBALL:-}" ] && candidates+=("$QT_MINGW_TARBALL")
candidates+=("$cache/qt6-mingw-$qt_version.tar.gz" "$here/../shared/cache/qt6-mingw-$qt_version.tar.gz")
for tarball in "${candidates[@]}"; do
    [ -f "$tarball" ] || continue
    if [ "$(sha256sum "$tarball" | cut -d' ' -f1)" != "$tarball_sha256" ]; then
        log "ignoring $tarball: not the pinned build (checksum differs)"
        continue
    fi
    log "unpacking $tarball"
    unpack=$(mktemp -d "$cache/unpack.XXXXXX")
    tar -C "$unpack" -xzf "$tarball"
    mv "$unpack/qt6-mingw" "$prefix"
    rmdir "$unpack"
    finish
done

log "building Qt $qt_version for mingw-w64 from Debian's source (about 20 minutes on 2 cores)"
work=$cache/qt6-mingw-build
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# Debian's source packages come from the same mirror as its binaries.
if ! apt-get source --print-uris "qt6-base=$deb_version" >/dev/null 2>&1; then
    [ "$(id -u)" -eq 0 ] || { log "add a deb-src line for bookworm, then run this again"; exit 1; }
    cat > /etc/apt/sources.list.d/marglet-debian-src.sources <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    apt-get -o DPkg::Lock::Timeout=600 update -qq
fi
apt-get source -qq "qt6-base=$deb_version" >&2
src=$work/qt6-base-${deb_version%-*}
[ -f "$src/CMakeLists.txt" ] || { log "no Qt source in $src"; exit 1; }

# Debian's source leaves out Qt's copy of Wacom's tablet header; Wine's
# LGPL headers describe the same interface.
apt-get download -qq libwine-dev >&2
dpkg-deb -x libwine-dev_*.deb wine-dev
wintab=$src/src/3rdparty/wintab
mkdir -p "$wintab"
for header in wintab.h pktdef.h; do
    found=$(find wine-dev -name "$header" -path '*/wine/windows/*' | head -1)
    { echo '#include <_mingw_dxhelper.h>'; echo '#ifndef API'; echo '#define API WINAPI'; echo '#endif'
      cat "$found"; } > "$wintab/$header"
done

mkdir -p "$prefix"
write_toolchain
# OpenGL is off in both of Qt's ways; the DirectWrite 3 font database does
# not link with mingw in 6.4; freetype stays for the offscreen platform the
# widget tests use.
cmake -S "$src" -B build -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_directwrite3=OFF \
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_zstd=OFF \
    -DFEATURE_jpeg=OFF -DFEATURE_ico=OFF -DFEATURE_openssl=OFF \
    -DFEATURE_schannel=OFF -DFEATURE_sql_sqlite=OFF >&2
cmake --build build -j "$jobs" >&2
cmake --install build >&2
cd "$cache"
rm -rf "$work"
finish
