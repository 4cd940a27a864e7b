#!/usr/bin/env bash
# Configures and builds one build folder. Usage: scripts/build.sh FOLDER [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
# ccache, when present, lets build folders of other checkouts share what they compiled alike. The base
# folder goes into the launcher itself, so later `cmake --build` runs outside this script share too. With debug
# information ccache would also hash the build folder's own path; that is turned off (a shared object's debug
# information then names the folder of the checkout that compiled it first).
launcher=()
if command -v ccache >/dev/null; then
    base="${CCACHE_BASEDIR:-$(cd .. && pwd)}"
    launcher=("-DCMAKE_C_COMPILER_LAUNCHER=env;CCACHE_BASEDIR=$base;CCACHE_NOHASHDIR=1;ccache"
              "-DCMAKE_CXX_COMPILER_LAUNCHER=env;CCACHE_BASEDIR=$base;CCACHE_NOHASHDIR=1;ccache")
fi
cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
