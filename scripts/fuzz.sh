#!/usr/bin/env bash
# Builds the libFuzzer targets into build-fuzz/ (clang) and runs each for SECONDS (default 600),
# one after another, with a memory and a per-input time limit, so a slow or memory-hungry input is
# a finding too. What a run learns is merged back into tests/fuzz/corpus/<target>, keeping only
# inputs that add coverage. Findings are left in build-fuzz/findings/<target>/.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     (targets without the fuzz_ prefix; default: all)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
shift || true
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true
if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTRAWLIX_FUZZ=ON -DTRAWLIX_BUILD_GUI=OFF -DTRAWLIX_BUILD_BENCH=OFF
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    cmake --build "$build" --parallel "${BUILD_JOBS:-2}"
    targets=()
    for f in "$build"/tests/fuzz/fuzz_*; do
        [ -x "$f" ] && [ -f "$f" ] && targets+=("${f##*/fuzz_}")
    done
else
    cmake --build "$build" --parallel "${BUILD_JOBS:-2}" --target "${targets[@]/#/fuzz_}"
fi
status=0
for target in "${targets[@]}"; do
    corpus=$root/tests/fuzz/corpus/$target
    work=$build/corpus/$target
    findings=$build/findings/$target
    mkdir -p "$corpus" "$work" "$findings"
    echo "== fuzz_$target for ${seconds}s"
    start=$(date +%s)
    if ! "$build/tests/fuzz/fuzz_$target" -rss_limit_mb=2048 -timeout=10 -max_total_time="$seconds" \
        -artifact_prefix="$findings/" -print_final_stats=1 "$work" "$corpus" 2>"$build/fuzz_$target.log"; then
        echo "fuzz_$target found something: see $build/fuzz_$target.log and $findings/"
        status=1
    fi
    grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb" "$build/fuzz_$target.log" || true
    echo "ran $(( $(date +%s) - start ))s"
    # Keep the checked-in corpus small: only inputs that add coverage to it.
    "$build/tests/fuzz/fuzz_$target" -merge=1 -rss_limit_mb=2048 -timeout=10 "$corpus" "$work" \
        >/dev/null 2>&1 || true
done
exit $status
