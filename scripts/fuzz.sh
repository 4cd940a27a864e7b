#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs one of them for a given time.
# Usage: scripts/fuzz.sh fuzz_swfinfo|fuzz_stream|fuzz_movie|fuzz_play|fuzz_avm1|fuzz_sound|fuzz_flv|fuzz_engine_messages SECONDS [more libFuzzer options...]
# New inputs are kept in fuzz-corpus/TARGET, crashes and their log in fuzz-findings/TARGET (both outside git).
# Our own seeds come from fuzz/seeds; the real movies of ../shared/corpus (or $REELFINCH_CORPUS) are read as
# extra seeds when the folder exists.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: scripts/fuzz.sh fuzz_swfinfo|fuzz_stream|fuzz_movie|fuzz_play|fuzz_avm1|fuzz_sound|fuzz_flv|fuzz_engine_messages SECONDS [libFuzzer options...]" >&2; exit 2; }
[ $# -ge 2 ] || usage
target=$1
seconds=$2
shift 2
case $target in
fuzz_swfinfo) seeds=fuzz/seeds/swfinfo max_len=262144 ;;
fuzz_stream) seeds=fuzz/seeds/stream max_len=65536 ;;
fuzz_movie | fuzz_play) seeds=fuzz/seeds/swfinfo max_len=262144 ;;
fuzz_avm1) seeds=fuzz/seeds/avm1 max_len=4096 ;;
fuzz_sound) seeds=fuzz/seeds/sound max_len=65536 ;;
fuzz_flv) seeds=fuzz/seeds/flv max_len=65536 ;;
fuzz_engine_messages) seeds=fuzz/seeds/engine max_len=65536 ;;
*) usage ;;
esac

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DREELFINCH_FUZZ=ON -DREELFINCH_TESTS=OFF \
    -DREELFINCH_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target "$target" -j 2

corpus=fuzz-corpus/$target
findings=fuzz-findings/$target
mkdir -p "$corpus" "$findings"

# The summary target also takes the real movies as seeds, read in place (libFuzzer reads seed folders
# recursively and writes only to the first folder); longer files are cut to the input limit.
extra=()
shared=${REELFINCH_CORPUS:-../shared/corpus}
[ "$target" != fuzz_stream ] && [ "$target" != fuzz_avm1 ] && [ "$target" != fuzz_sound ] && [ "$target" != fuzz_flv ] && [ "$target" != fuzz_engine_messages ] && [ -d "$shared/movies" ] && extra+=("$shared/movies")

log=$findings/run-$(date +%Y%m%d-%H%M%S).log
# Findings of earlier runs stay in the folder; only files newer than this mark are this run's.
mark=$(mktemp)
trap 'rm -f "$mark"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan.supp}
status=0
"build-fuzz/fuzz/$target" "$corpus" "$seeds" "${extra[@]}" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" "$@" >"$log" 2>&1 ||
    status=$?

echo "target:     $target ($seconds s), log $log"
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$log" || true
grep -E '^#[0-9]+ +DONE|cov:' "$log" | tail -n 1 || true
echo "corpus:     $(find "$corpus" -type f | wc -l) inputs in $corpus"
artifacts=$(find "$findings" -maxdepth 1 -type f -newer "$mark" \( -name 'crash-*' -o -name 'leak-*' \
    -o -name 'timeout-*' -o -name 'oom-*' -o -name 'slow-unit-*' \) | sort)
if [ -n "$artifacts" ]; then
    echo "findings:"
    echo "$artifacts" | sed 's/^/    /'
    # No matching line (a timeout, say) must not end the script under pipefail.
    { grep -E 'ERROR: |SUMMARY: |runtime error' "$log" || true; } | head -n 5 | sed 's/^/    /'
else
    echo "findings:   none"
fi
exit $status
