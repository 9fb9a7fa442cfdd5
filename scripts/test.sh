#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
export BUILD_DIR=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh" -DTRAWLIX_WERROR=ON -DTRAWLIX_BUILD_TESTS=ON
cd "$BUILD_DIR"
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
