#!/usr/bin/env bash
# run-heif-decode-bench.sh [CORPUS]
#
# HEIC and AVIF decoding of 12-megapixel photos: the codec service's libheif adapter
# (heif_decode_bench, one whole decode to B, G, R, A) against ImageMagick
# (convert FILE null:) and libvips (vips avg FILE, which reads every pixel) on the
# same files. The files are made from the corpus's 10-14 megapixel JPEG photos with
# heif-enc (quality 75; AV1 at speed 8) and kept in BENCH_WORK between runs.
#
# One process per photo and tool. Runs are interleaved (each round times every tool
# on every file, the tools' order turning from round to round) and repeated; the
# table gives the median over every photo and round of the CPU time (user + system)
# and of the wall time of one decode, and the peak resident memory of any one process. On a machine
# loaded by other work compare the CPU column: wall times there mostly measure the
# load.
#
# Environment:
#   BENCH_BUILD    the Release build folder (default build/bench/release/ in the source tree)
#   BENCH_REPEATS  rounds (default 5)
#   BENCH_WORK     where the HEIC and AVIF files are kept (default $TMPDIR/tallowin-heif-bench)
# CORPUS defaults to $BENCH_CORPUS, else build/bench/corpus/; it is made by
# shared/bench/make-corpus.sh (MANIFEST.tsv lists it).
set -euo pipefail

SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
CORPUS=${1:-${BENCH_CORPUS:-$SOURCE_DIR/build/bench/corpus}}
REPEATS=${BENCH_REPEATS:-5}
BUILD=${BENCH_BUILD:-$SOURCE_DIR/build/bench/release}
WORK=${BENCH_WORK:-${TMPDIR:-/tmp}/tallowin-heif-bench}
TIMES=$(mktemp "${TMPDIR:-/tmp}/tallowin-heif-times.XXXXXX")
trap 'rm -f "$TIMES" "$TIMES.one"' EXIT

[ -f "$CORPUS/MANIFEST.tsv" ] || { echo "no corpus at $CORPUS (make it with make-corpus.sh)" >&2; exit 2; }
need=""
command -v heif-enc >/dev/null || need="$need libheif-examples"
command -v vips >/dev/null || need="$need libvips-tools"
command -v convert-im6.q16 >/dev/null || need="$need imagemagick"
[ -x /usr/bin/time ] || need="$need time"
if [ -n "$need" ]; then
  apt-get install -y -o DPkg::Lock::Timeout=900 $need >/dev/null || {
    apt-get update >/dev/null && apt-get install -y -o DPkg::Lock::Timeout=900 $need >/dev/null; }
fi
IM=$(command -v convert-im6.q16)

cmake -S "$SOURCE_DIR" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_SANITIZE=OFF -DTALLOWIN_TESTS=OFF \
      -DTALLOWIN_BENCH=ON >/dev/null
cmake --build "$BUILD" -j2 --target heif_decode_bench >/dev/null
OURS=$BUILD/bin/heif_decode_bench

mkdir -p "$WORK"
files=()
megapixels=0
while IFS=$'\t' read -r name _ _ mp kind _; do
  [ "$kind" = photo ] || continue
  case "$name" in *.jpg) ;; *) continue ;; esac
  awk -v m="$mp" 'BEGIN { exit !(m >= 10 && m <= 14) }' || continue
  base=$WORK/${name%.jpg}
  [ -s "$base.heic" ] || heif-enc -q 75 "$CORPUS/$name" -o "$base.heic" >/dev/null
  [ -s "$base.avif" ] || heif-enc -A -q 75 -p speed=8 "$CORPUS/$name" -o "$base.avif" >/dev/null
  files+=("$base.heic" "$base.avif")
  megapixels=$(awk -v a="$megapixels" -v b="$mp" 'BEGIN { print a + b }')
done < <(tail -n +2 "$CORPUS/MANIFEST.tsv")
[ ${#files[@]} -gt 0 ] || { echo "no 10-14 megapixel JPEG photos in $CORPUS" >&2; exit 2; }

# One timed decode: appends "tool format cpu wall kib" to $TIMES.
measure() {
  local tool=$1 file=$2 format=${2##*.}
  local -a command
  case $tool in
    tallowin) command=("$OURS" "$file") ;;
    im)       command=("$IM" "$file" null:) ;;
    vips)     command=(vips avg "$file") ;;
  esac
  /usr/bin/time -f '%U %S %e %M' -o "$TIMES.one" "${command[@]}" >/dev/null 2>&1 || { echo "$tool failed on $file" >&2; exit 1; }
  read -r user sys wall kib < "$TIMES.one"
  echo "$tool $format $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') $wall $kib" >>"$TIMES"
}

tools=(tallowin im vips)
for round in $(seq 1 "$REPEATS"); do
  for file in "${files[@]}"; do
    for i in 0 1 2; do
      measure "${tools[$(( (i + round) % 3 ))]}" "$file"
    done
  done
done

photos=$(( ${#files[@]} / 2 ))
echo "$(nproc) cores ($(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$photos photos ($megapixels megapixels in all), $REPEATS interleaved rounds, medians per photo."
echo "Versions: $("$IM" -version | head -n 1 | cut -d' ' -f2-3); $(vips --version); libheif $(pkg-config --modversion libheif)"
echo
echo "| Format | Tool | CPU s / photo | Wall s / photo | Peak MiB | CPU / ImageMagick |"
echo "|---|---|---|---|---|---|"
# Medians over every photo of every round.
awk -v photos="$photos" -v rounds="$REPEATS" '
  { key = $2 " " $1; cpu[key] += $3; wall[key] += $4; if ($5 > peak[key]) peak[key] = $5
    n[key]++; sample_cpu[key, n[key]] = $3; sample_wall[key, n[key]] = $4 }
  function median(arr, key, count,   i, j, t, v) {
    for (i = 1; i <= count; i++) v[i] = arr[key, i]
    for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    return count % 2 ? v[(count + 1) / 2] : (v[count / 2] + v[count / 2 + 1]) / 2
  }
  END {
    split("heic avif", formats, " "); split("im vips tallowin", tools, " ")
    for (f = 1; f <= 2; f++) {
      base = median(sample_cpu, formats[f] " im", n[formats[f] " im"])
      for (t = 1; t <= 3; t++) {
        key = formats[f] " " tools[t]
        c = median(sample_cpu, key, n[key]); w = median(sample_wall, key, n[key])
        printf "| %s | %s | %.3f | %.3f | %d | %.2f |\n", formats[f], tools[t], c, w, peak[key] / 1024, (base > 0 ? c / base : 0)
      }
    }
  }' "$TIMES"
