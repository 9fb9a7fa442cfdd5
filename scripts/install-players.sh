#!/usr/bin/env bash
# Installs the web players the stream tests play through (hls.js and dash.js, from the npm
# registry) into a cache folder: PLAYERS_DIR, default build/players. Never part of the tree.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
players=${PLAYERS_DIR:-$root/build/players}
hls=1.7.4
dash=5.2.1
if [ -f "$players/node_modules/hls.js/dist/hls.min.js" ] &&
   [ -f "$players/node_modules/dashjs/dist/modern/umd/dash.all.min.js" ] &&
   grep -q "\"version\": \"$hls\"" "$players/node_modules/hls.js/package.json" &&
   grep -q "\"version\": \"$dash\"" "$players/node_modules/dashjs/package.json"; then
    exit 0
fi
mkdir -p "$players"
npm install --no-audit --no-fund --no-save --silent --prefix "$players" "hls.js@$hls" "dashjs@$dash"
