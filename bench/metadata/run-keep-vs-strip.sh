#!/usr/bin/env bash
# run-keep-vs-strip.sh [CORPUS]
#
# The JPEG 1024 px job of bench/batch/run-bench.sh (-f jpg --width 1024 --quality 80,
# one core) through tallowin-batch with photo information kept (--keep-metadata, the
# default) against --strip, on the same photos: the corpus's JPEG photos as they are,
# then the same photos tagged like a phone photo (EXIF with GPS, XMP, IPTC, a
# thumbnail and a Display P3 profile, as run-bench.sh in this folder tags them).
# The two runs alternate, REPEATS times each; the table gives the median CPU time
# (user + system) and wall time of the whole job and the kept / stripped ratio of the
# CPU times. On a loaded machine compare the CPU column.
#
# Environment:
#   TALLOWIN_BATCH  the tallowin-batch to time (default: a Release build made in
#                   $BENCH_BUILD, default build/bench/release/ in the source tree)
#   BENCH_PHOTOS    photos of kind "photo" taken from the corpus (default 10)
#   BENCH_REPEATS   runs of each (default 7)
# CORPUS defaults to $BENCH_CORPUS, else build/bench/corpus/; it is made by
# shared/bench/make-corpus.sh (MANIFEST.tsv lists it).
set -euo pipefail

SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
CORPUS=${1:-${BENCH_CORPUS:-$SOURCE_DIR/build/bench/corpus}}
PHOTOS=${BENCH_PHOTOS:-10}
REPEATS=${BENCH_REPEATS:-7}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tallowin-keep-strip.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

[ -f "$CORPUS/MANIFEST.tsv" ] || { echo "no corpus at $CORPUS (make it with make-corpus.sh)" >&2; exit 2; }
command -v exiftool >/dev/null || { echo "exiftool is needed to tag the photos" >&2; exit 2; }
if [ -z "${TALLOWIN_BATCH:-}" ]; then
  BUILD=${BENCH_BUILD:-$SOURCE_DIR/build/bench/release}
  cmake -S "$SOURCE_DIR" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_SANITIZE=OFF \
        -DTALLOWIN_TESTS=OFF -DTALLOWIN_BENCH=ON >/dev/null
  cmake --build "$BUILD" -j2 --target tallowin-batch photo metadata_bench >/dev/null
  TALLOWIN_BATCH=$BUILD/bin/tallowin-batch
  "$BUILD/bin/metadata_bench" --write-display-p3 "$WORK/display-p3.icc"
fi

mapfile -t FILES < <(awk -F'\t' 'NR > 1 && $5 == "photo" && $1 ~ /\.jpg$/ { print $1 }' "$CORPUS/MANIFEST.tsv" \
                      | head -n "$PHOTOS" | sed "s|^|$CORPUS/|")
mkdir -p "$WORK/tagged"
TAGGED=()
for file in "${FILES[@]}"; do
  copy=$WORK/tagged/$(basename "$file")
  cp "$file" "$copy"
  convert-im6.q16 "$file" -thumbnail 160x120 "$WORK/thumb.jpg"
  profile=()
  [ -f "$WORK/display-p3.icc" ] && profile=("-ICC_Profile<=$WORK/display-p3.icc")
  exiftool -q -overwrite_original -Make=TallowinCam -Model='Test Model 7' \
    -DateTimeOriginal='2024:05:17 10:11:12' -Artist='Ada Author' -Copyright='Ada Author' \
    -GPSLatitude=48.8584 -GPSLatitudeRef=N -GPSLongitude=2.2945 -GPSLongitudeRef=E \
    -XMP-dc:Creator='Ada Author' -XMP-dc:Description='A test photo' -IPTC:By-line='Ada Author' \
    -IPTC:Keywords=bench -Orientation#=1 "-ThumbnailImage<=$WORK/thumb.jpg" "${profile[@]}" "$copy"
  TAGGED+=("$copy")
done

# One run: prints "cpu wall".
run() {
  rm -rf "$WORK/out" && mkdir -p "$WORK/out"
  /usr/bin/time -f "%U %S %e" -o "$WORK/time" "$TALLOWIN_BATCH" -q --overwrite always -j 1 -o "$WORK/out" \
    -f jpg --width 1024 --quality 80 "$@" >/dev/null 2>"$WORK/errors" || { cat "$WORK/errors" >&2; exit 1; }
  read -r user sys wall < "$WORK/time"
  echo "$(echo "$user + $sys" | bc) $wall"
}
median() { sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

echo "$(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')), ${#FILES[@]} photos," \
     "$REPEATS alternating runs each, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| Photos | Information | CPU s | Wall s | CPU kept / stripped |"
echo "|---|---|---|---|---|"
for set in plain tagged; do
  if [ "$set" = plain ]; then photos=("${FILES[@]}"); else photos=("${TAGGED[@]}"); fi
  : > "$WORK/keep" ; : > "$WORK/strip"
  for ((i = 0; i < REPEATS; i++)); do
    if ((i % 2)); then
      run --strip "${photos[@]}" >> "$WORK/strip"; run --keep-metadata "${photos[@]}" >> "$WORK/keep"
    else
      run --keep-metadata "${photos[@]}" >> "$WORK/keep"; run --strip "${photos[@]}" >> "$WORK/strip"
    fi
  done
  keepCpu=$(cut -d' ' -f1 "$WORK/keep" | median); stripCpu=$(cut -d' ' -f1 "$WORK/strip" | median)
  keepWall=$(cut -d' ' -f2 "$WORK/keep" | median); stripWall=$(cut -d' ' -f2 "$WORK/strip" | median)
  echo "| $set | kept | $keepCpu | $keepWall | $(echo "scale=3; $keepCpu / $stripCpu" | bc) |"
  echo "| $set | --strip | $stripCpu | $stripWall | 1 |"
done
