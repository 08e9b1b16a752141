#!/bin/sh
# Builds the BMP reader's libFuzzer target with clang and runs it on one core.
# Usage: tests/fuzz/run-fuzz.sh [seconds]   (default 900)
# Work folder: $FUZZ_WORK, else $TMPDIR/tallowin-fuzz. New crash inputs land in its
# artifacts/ folder; copy them to tests/data/crashers together with the fix.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=${FUZZ_WORK:-${TMPDIR:-/tmp}/tallowin-fuzz}
seconds=${1:-900}
mkdir -p "$work/corpus" "$work/artifacts"
clang++-14 -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root/src/imaging" "$here/bmp_read_fuzzer.cpp" "$root"/src/imaging/*.cpp -o "$work/bmp_read_fuzzer"
find "$root/tests/data/bmp" "$root/tests/data/crashers" -type f -name '*.bmp' -exec cp {} "$work/corpus/" \;
cd "$work"
./bmp_read_fuzzer -jobs=1 -workers=1 -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2560 \
  -malloc_limit_mb=2048 -artifact_prefix="$work/artifacts/" "$work/corpus"
