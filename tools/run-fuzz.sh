#!/bin/sh
# Builds the libFuzzer targets with clang (the SWF library instrumented too) and runs each for a while.
# Usage: tools/run-fuzz.sh [seconds per fuzzer, default 60] [build folder, default build-fuzz]
# Seeds come from the reference corpus when it is present. Crashing inputs are written to
# <build>/fuzz-work/<fuzzer>-crash-*; the script exits non-zero when a fuzzer finds one.
set -eu

secs=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}
work=$build/fuzz-work
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DTOLVIKAN_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
ninja -C "$build" -j2 swf_parse_fuzz action_decode_fuzz player_fuzz avm1_fuzz effects_fuzz text_fuzz swf_fuzz_seeds

mkdir -p "$work/seeds/movies" "$work/seeds/actions" "$work/swf_parse_fuzz-corpus" "$work/action_decode_fuzz-corpus" \
    "$work/player_fuzz-corpus" "$work/avm1_fuzz-corpus" "$work/effects_fuzz-corpus" "$work/seeds/effects" \
    "$work/text_fuzz-corpus" "$work/seeds/text"
corpus=${TOLVIKAN_SHARED:-$root/../shared}/corpus
if [ -d "$corpus" ] && [ -z "$(ls -A "$work/seeds/movies")" ]; then
    # Small uncompressed movies make useful seeds; compressed ones mutate into noise.
    find "$corpus" -name '*.swf' -size -200k -print0 |
        xargs -0 "$build/fuzz/swf_fuzz_seeds" "$work/seeds" 65536
fi

status=0
run() {
    name=$1
    seeds=$2
    echo "== $name for ${secs}s"
    if ! "$build/fuzz/$name" -max_total_time="$secs" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/$name-" "$work/$name-corpus" "$seeds" \
        >"$work/$name.log" 2>&1; then
        echo "$name found a problem; see $work/$name.log"
        status=1
    fi
    grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)" "$work/$name.log" || true
}
run swf_parse_fuzz "$work/seeds/movies"
run action_decode_fuzz "$work/seeds/actions"
run player_fuzz "$work/seeds/movies"
run avm1_fuzz "$work/seeds/actions"
# Filters, blend modes and video frames wrapped into a movie by the fuzzer itself (see effects_fuzz.cpp).
run effects_fuzz "$work/seeds/effects"
# HTML text and its layout, from a few hand-written fields.
if [ -z "$(ls -A "$work/seeds/text")" ]; then
    printf '\144\0\50\0\30<p align="center"><b>Hello</b> <font size="+2" color="#ff0000">world</font></p><li>one</li>' >"$work/seeds/text/basic"
    printf '\10\0\10\0\177<textformat leftmargin="4" tabstops="10,20">a\tb&amp;&#65;</textformat><span class="x">y</span>\1.x' >"$work/seeds/text/styles"
fi
run text_fuzz "$work/seeds/text"
exit $status
