#!/usr/bin/env bash
# Sets up Reelfinch on this machine and opens the bundled demo movies as a playlist: motion, vector art with
# gradients and a morph, and buttons that drive the timeline, with text. Our own generator wrote them
# (resources/demo/make_demo_movie.cpp).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DREELFINCH_BENCH=OFF -DREELFINCH_TESTS=OFF
demos=("$PWD/resources/demo/demo.swf" "$PWD/resources/demo/gradients-and-morph.swf"
       "$PWD/resources/demo/buttons-and-text.swf")
build/tools/reelfinch-swf info "${demos[@]}"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No desktop session here: run build/player/reelfinch resources/demo/*.swf from one to see the player." >&2
    exit 0
fi
exec build/player/reelfinch "${demos[@]}"
