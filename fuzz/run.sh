#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for FUZZ_SECONDS (default
# 600) on a work corpus seeded from fuzz/corpus, so that what libFuzzer finds
# stays out of the repository. FUZZ_PARALLEL=2 runs two targets at a time,
# one core each. Fails if any target crashes, hangs or runs out of memory;
# the input that did it is left in <build>/artifacts.
#   fuzz/run.sh [build folder, default build-fuzz] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-fuzz}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(settings notes pagetitle)
seconds=${FUZZ_SECONDS:-600}
parallel=${FUZZ_PARALLEL:-1}

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMARGLET_FUZZ=ON -DMARGLET_TESTS=OFF
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

# Any sanitizer report ends the run, so that libFuzzer keeps the input.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp

fuzz_one() {
    local name=$1
    local corpus=$build/corpus/$name dict=()
    mkdir -p "$corpus" "$build/artifacts"
    cp -u fuzz/corpus/"$name"/* "$corpus"/
    [ -f fuzz/"$name".dict ] && dict=(-dict=fuzz/"$name".dict)
    "$build"/fuzz/fuzz_"$name" "$corpus" "${dict[@]}" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$name-" >"$build/fuzz_$name.log" 2>&1
}

failed=()
pids=()
names=()
wait_oldest() {
    if ! wait "${pids[0]}"; then
        failed+=("${names[0]}")
    fi
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
}
for name in "${targets[@]}"; do
    echo "fuzz_$name: ${seconds}s, log in $build/fuzz_$name.log"
    fuzz_one "$name" &
    pids+=($!)
    names+=("$name")
    [ ${#pids[@]} -lt "$parallel" ] || wait_oldest
done
while [ ${#pids[@]} -gt 0 ]; do
    wait_oldest
done

for name in "${targets[@]}"; do
    echo "fuzz_$name:"
    grep -E '^#[0-9]+[[:space:]]+DONE|^Done [0-9]+ runs' "$build/fuzz_$name.log" || true
done
if [ ${#failed[@]} -gt 0 ]; then
    for name in "${failed[@]}"; do
        # A failed check or a sanitizer says what went wrong just before
        # libFuzzer's banner; the input it kept is named at the end.
        log=$build/fuzz_$name.log
        first=$(grep -n -m 1 -E '^==[0-9]+==' "$log" | cut -d: -f1 || true)
        first=${first:-$(wc -l <"$log")}
        echo "fuzz_$name FAILED:" >&2
        sed -n "$((first > 3 ? first - 3 : 1)),$((first + 30))p" "$log" >&2
        grep -E 'Test unit written to' "$log" >&2 || true
    done
    exit 1
fi
