#!/usr/bin/env bash
# Configures and builds Trawlix into BUILD_DIR (default: build/) with BUILD_JOBS jobs (default: all
# cores). Extra arguments go to cmake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
# Let ccache reuse objects between clones in different folders (CI builds a fresh clone).
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
elif [ $# -gt 0 ]; then
    cmake -S "$root" -B "$build" "$@"
fi
cmake --build "$build" --parallel "${BUILD_JOBS:-$(nproc)}"
