#!/usr/bin/env bash
# Installs what is missing, builds Trawlix and starts it. Arguments go to trawlix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${BUILD_DIR:-$root/build}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [[ " $* " != *" --headless "* ]]; then
    echo "No display found: starting Trawlix on a virtual screen (xvfb-run)." >&2
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$build/src/trawlix" "$@"
fi
exec "$build/src/trawlix" "$@"
