#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
# Formatting and the direction of includes fail the run before anything is built.
"$root/scripts/check-sources.sh"
export BUILD_DIR=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh" -DTRAWLIX_WERROR=ON -DTRAWLIX_BUILD_TESTS=ON
cd "$BUILD_DIR"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
