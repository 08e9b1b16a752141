#!/bin/sh
# Builds one fuzz target as a libFuzzer program (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it on one core.
#
# Usage: tests/fuzz/run-fuzz.sh TARGET [SECONDS]      (default 600 seconds)
#   TARGET: bmp_read bmp_decode ico_decode exif_parse jxr_container png_direct
# Build tree: $FUZZ_BUILD, default build-fuzz/ in the source tree.
# Work folder: $FUZZ_WORK/TARGET, default $TMPDIR/tallowin-fuzz/TARGET: the corpus grows
# in its corpus/ folder, crash inputs land in artifacts/. Minimise one with
#   build-fuzz/bin/TARGET_fuzzer -minimize_crash=1 -runs=20000 artifacts/crash-...
# and commit it to tests/data/crashers/TARGET/ together with the fix.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
target=${1:?usage: run-fuzz.sh TARGET [SECONDS]}
seconds=${2:-600}
data=$root/tests/data
case $target in
  bmp_read|bmp_decode) seeds="$data/bmpsuite $data/image-rs/bmp $data/generated/bmp" ;;
  ico_decode) seeds="$data/image-rs/ico $data/generated/ico" ;;
  exif_parse) seeds="$data/generated/fuzz-seeds/exif" ;;
  jxr_container) seeds="$data/generated/wdp $data/jxrlib-glencoe" ;;
  png_direct) seeds="$data/pngsuite" ;;
  *) echo "unknown fuzz target '$target'" >&2; exit 2 ;;
esac
build=${FUZZ_BUILD:-$root/build-fuzz}
work=${FUZZ_WORK:-${TMPDIR:-/tmp}/tallowin-fuzz}/$target
mkdir -p "$work/corpus" "$work/artifacts"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTALLOWIN_FUZZ=ON -DTALLOWIN_BENCH=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target "${target}_fuzzer"

cd "$work"
# New inputs are written to the first folder only; the seeds and earlier crashers are read.
exec "$build/bin/${target}_fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2560 \
  -malloc_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
  "$work/corpus" "$data/crashers/$target" $seeds
