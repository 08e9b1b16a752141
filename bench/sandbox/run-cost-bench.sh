#!/usr/bin/env bash
# run-cost-bench.sh [CORPUS]
#
# What decoding in helper processes costs tallowin-batch on the JPEG job (1024 px wide,
# quality 80): the same run with the decoders in helpers and in the tool's own process
# (TALLOWIN_DECODER_HELPER=off), one after the other, ROUNDS times, with -j 1 and with
# every core. Each run is timed as a whole process tree: the CPU time (user + system)
# counts every helper, also one that outlived the tool. Prints the medians and the
# helpers' cost against in-process decoding.
#
# Environment:
#   TALLOWIN_BATCH  the tallowin-batch to time (default: a Release build made in
#                   $BENCH_BUILD, default build/bench/release/ in the source tree)
#   BENCH_PHOTOS    photos of kind "photo" taken from the corpus (default 10)
#   ROUNDS          runs of each kind (default 7)
# CORPUS as for bench/batch/run-bench.sh (made by shared/bench/make-corpus.sh). That
# script's tool "inproc" makes the same comparison for each of its jobs, as paired ratios.
#
# Figures (2 cores, 10 photos, 11 interleaved runs each, medians of the CPU time; the
# machine was loaded by other builds, so only the differences within a row set count):
#   -j | in-process | helper with Qt linked | helper without Qt, heap kept
#    1 |    1.060 s |      1.119 s (+5.6%)  |      1.086 s (+2.5%)
#    2 |    0.986 s |      1.111 s (+12.7%) |      1.082 s (+9.7%)
# The same again when the machine was less loaded:
#    1 |    0.735 s |      0.789 s (+7.3%)  |      0.739 s (+0.5%)
#    2 |    0.991 s |      1.021 s (+3.0%)  |      0.944 s (-4.7%)
# and a third time, -j 1 only: 1.007 s, 1.113 s (+10.5%), 1.025 s (+1.8%).
# 2026-12-08, pixels copied out of the helper's memory and photo information read in the
# helper (15 interleaved runs, medians; a machine whose speed varied by up to 20%):
#    1 | 0.697 s | helper 0.738 s (+5.9%)
#    2 | 0.785 s | helper 0.792 s (+0.9%)
# A helper's start (run-start-bench.sh, 50 runs, median CPU): 27 ms with Qt linked
# (74 libraries), 15 ms without (35); the metafile helper 28-40 ms. Of the 15 ms, about
# a third is the static set-up of libhwy (libjxl) and libde265 (libheif).
# 2026-12-09, HEIF and JPEG XL in a helper of their own (the photo helper starts in
# 5.5 ms, 25 libraries) and pixels through each helper's window (21 interleaved runs):
#    1 | 0.641 s | helper 0.692 s (+8.0%)
#    2 | 0.777 s | helper 0.872 s (+12.2%)
# and with every photo of the corpus (31, BENCH_PHOTOS=40, 9 runs): +7.3% and +1.7%.
# 2026-12-09, later: each request's thread and helper share a CPU, and pictures are
# decoded straight into the window (21 runs; other series of 31-51 runs gave +2.6% to
# +5.5% at -j 1 and +3.9% to +8.2% at -j 2, the build before +5.2% to +6.6% and +9.4%
# to +10.2% in the same series):
#    1 | 0.731 s | helper 0.784 s (+7.3%)
#    2 | 0.864 s | helper 0.906 s (+4.9%)
set -euo pipefail

SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
CORPUS=${1:-${BENCH_CORPUS:-$SOURCE_DIR/build/bench/corpus}}
PHOTOS=${BENCH_PHOTOS:-10}
ROUNDS=${ROUNDS:-7}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tallowin-cost.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

[ -f "$CORPUS/MANIFEST.tsv" ] || { echo "no corpus at $CORPUS (make it with make-corpus.sh)" >&2; exit 2; }
if [ -z "${TALLOWIN_BATCH:-}" ]; then
  BUILD=${BENCH_BUILD:-$SOURCE_DIR/build/bench/release}
  cmake -S "$SOURCE_DIR" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_SANITIZE=OFF \
        -DTALLOWIN_TESTS=OFF -DTALLOWIN_BENCH=ON >/dev/null
  cmake --build "$BUILD" -j "$(nproc)" --target tallowin-batch tallowin-decoder tallowin-heif-jxl-decoder tallowin-metafile-decoder >/dev/null
  TALLOWIN_BATCH=$BUILD/bin/tallowin-batch
fi
mapfile -t FILES < <(awk -F'\t' 'NR > 1 && $5 == "photo" && $1 ~ /\.jpg$/ { print $1 }' "$CORPUS/MANIFEST.tsv" \
                      | head -n "$PHOTOS" | sed "s|^|$CORPUS/|")

# Runs a command as a child subreaper, waits for every process of its tree and prints
# "wall cpu" in seconds.
cat > "$WORK/tree-time.py" <<'PY'
import ctypes, os, resource, subprocess, sys, time
ctypes.CDLL(None, use_errno=True).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
start = time.monotonic()
status = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL).returncode
while True:
    try:
        os.wait()
    except ChildProcessError:
        break
wall = time.monotonic() - start
used = resource.getrusage(resource.RUSAGE_CHILDREN)
print(f"{wall:.3f} {used.ru_utime + used.ru_stime:.3f}")
sys.exit(status)
PY

median() { sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

echo "tallowin-batch JPEG 1024 px, ${#FILES[@]} photos, $ROUNDS interleaved runs each, medians"
echo "| -j | decoders | wall s | CPU s |"
echo "|---|---|---|---|"
for jobs in 1 "$(nproc)"; do
  : > "$WORK/helper" && : > "$WORK/inprocess"
  for ((i = 0; i < ROUNDS; i++)); do
    for kind in helper inprocess; do
      rm -rf "$WORK/out" && mkdir -p "$WORK/out"
      setting=$([ "$kind" = inprocess ] && echo off || echo "${TALLOWIN_DECODER_HELPER:-}")
      TALLOWIN_DECODER_HELPER=$setting python3 "$WORK/tree-time.py" "$TALLOWIN_BATCH" -q --overwrite always \
        -j "$jobs" -o "$WORK/out" -f jpg --width 1024 --quality 80 "${FILES[@]}" >> "$WORK/$kind"
    done
  done
  for kind in inprocess helper; do
    wall=$(cut -d' ' -f1 "$WORK/$kind" | median)
    cpu=$(cut -d' ' -f2 "$WORK/$kind" | median)
    echo "| $jobs | $kind | $wall | $cpu |"
    eval "${kind}_wall=$wall ${kind}_cpu=$cpu"
  done
  awk -v j="$jobs" -v hw="$helper_wall" -v iw="$inprocess_wall" -v hc="$helper_cpu" -v ic="$inprocess_cpu" \
      'BEGIN { printf "| %s | helper cost | %+.1f%% | %+.1f%% |\n", j, (hw / iw - 1) * 100, (hc / ic - 1) * 100 }'
done
