#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test.
# --sanitize: the same with AddressSanitizer and UndefinedBehaviorSanitizer, in build-sanitize/,
# two jobs at a time (a sanitized build is heavy).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
extra=()
jobs=$(nproc)
if [ "${1:-}" = "--sanitize" ]; then
    export BUILD_DIR=${BUILD_DIR:-$root/build-sanitize}
    extra=(-DTRAWLIX_SANITIZE=ON -DTRAWLIX_BUILD_BENCH=OFF)
    jobs=2
elif [ $# -gt 0 ]; then
    echo "usage: $0 [--sanitize]" >&2
    exit 2
fi
"$root/scripts/install-deps.sh"
export BUILD_DIR=${BUILD_DIR:-$root/build}
# The web players the stream tests play through, from the npm registry, into the build folder.
PLAYERS_DIR="$BUILD_DIR/players" "$root/scripts/install-players.sh"
# Formatting and the direction of includes fail the run before anything is built.
"$root/scripts/check-sources.sh"
BUILD_JOBS=$jobs "$root/scripts/build.sh" -DTRAWLIX_WERROR=ON -DTRAWLIX_BUILD_TESTS=ON "${extra[@]}"
cd "$BUILD_DIR"
ctest --output-on-failure --parallel "$jobs" --timeout 600
