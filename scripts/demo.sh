#!/usr/bin/env bash
# Sets up Reelfinch on this machine and plays it the bundled demo movie.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DREELFINCH_BENCH=OFF -DREELFINCH_TESTS=OFF
build/tools/reelfinch-swf info resources/demo/demo.swf
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No desktop session here: run build/player/reelfinch resources/demo/demo.swf from one to see the player." >&2
    exit 0
fi
exec build/player/reelfinch "$PWD/resources/demo/demo.swf"
