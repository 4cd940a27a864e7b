#!/usr/bin/env bash
# Sets up and runs the whole test suite: a normal build, then the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer. Real movies from ../shared/corpus (or $REELFINCH_CORPUS) are used when present.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The options are given again: a build folder configured by demo.sh has the tests and benchmarks turned off.
bash scripts/build.sh build -DREELFINCH_TESTS=ON -DREELFINCH_BENCH=ON
(cd build && ctest --output-on-failure -j "$(nproc)")

bash scripts/build.sh build-asan -DREELFINCH_SANITIZE=ON -DREELFINCH_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
(cd build-asan && ctest --output-on-failure -j "$(nproc)")
