#!/usr/bin/env bash
# The Windows build, made on Debian: mingw-w64 against Qt built from
# Debian's own Qt source (scripts/qt-mingw.sh), tested under Wine.
#
#   scripts/windows.sh build DIR   the program folder DIR/Marglet, DIR/Marglet.zip and
#                                  the installer DIR/Marglet-Setup-<version>.exe
#   scripts/windows.sh test DIR    every test of that build under Wine
#
# CMAKE_FLAGS, JOBS and CTEST_ARGS as for the Linux build.
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:?build or test}
dir=${2:?the build folder}
jobs=${JOBS:-$(nproc)}

case $what in
build)
    # NSIS makes the installer; the real-window tests run the program and
    # the installer under openbox on Xvfb.
    scripts/deps.sh g++-mingw-w64-x86-64-posix ninja-build nsis wine wine64 fonts-wine openbox
    qt=$(scripts/qt-mingw.sh | tail -1)
    # shellcheck disable=SC2086 # CMAKE_FLAGS is a list of arguments
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$qt/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$qt" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        ${CMAKE_FLAGS:-}
    cmake --build "$dir" -j "$jobs"
    rm -rf "$dir/Marglet" "$dir/Marglet.zip"
    cmake --install "$dir" --prefix "$dir/Marglet" >/dev/null
    (cd "$dir" && cmake -E tar cf Marglet.zip --format=zip Marglet)
    cmake --build "$dir" --target setup
    echo "The program folder: $dir/Marglet (zipped: $dir/Marglet.zip)"
    echo "The installer: $(ls "$dir"/Marglet-Setup-*.exe)"
    ;;
test)
    # shellcheck disable=SC2086
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" ${CTEST_ARGS:-}
    ;;
*)
    echo "usage: $0 build|test DIR" >&2
    exit 2
    ;;
esac
