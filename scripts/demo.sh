#!/usr/bin/env bash
# Sets up Reelfinch on this machine and shows it the bundled demo movie.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DREELFINCH_BENCH=OFF -DREELFINCH_TESTS=OFF
exec build/tools/reelfinch-swf info resources/demo/demo.swf
