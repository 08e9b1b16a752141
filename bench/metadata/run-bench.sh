#!/usr/bin/env bash
# run-bench.sh [CORPUS]
#
# What keeping photo information costs per photo of the JPEG 1024 px job: the
# corpus's 10-14 megapixel JPEG photos are copied and tagged like a phone photo
# (camera, capture date, GPS and author in EXIF, XMP and IPTC, a thumbnail and a
# Display P3 profile), then metadata_bench times reading the source's information
# and writing it into the encoded 1024 px output, best of BENCH_REPEATS runs. It
# also times a plain open + 1024 px draw against one with conversion to sRGB.
#
# Environment:
#   BENCH_BUILD    the Release build folder (default build-bench/ beside the sources)
#   BENCH_REPEATS  runs per measurement (default 5)
# The corpus is made by shared/bench/make-corpus.sh (MANIFEST.tsv lists it).
set -euo pipefail

CORPUS=${1:-/work/corpus}
REPEATS=${BENCH_REPEATS:-5}
SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${BENCH_BUILD:-$SOURCE_DIR/build-bench}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tallowin-metadata-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

[ -f "$CORPUS/MANIFEST.tsv" ] || { echo "no corpus at $CORPUS (make it with make-corpus.sh)" >&2; exit 2; }
command -v exiftool >/dev/null || { echo "exiftool is needed to tag the photos" >&2; exit 2; }

cmake -S "$SOURCE_DIR" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_BENCH=ON >/dev/null
cmake --build "$BUILD" -j2 --target metadata_bench >/dev/null
BENCH="$BUILD/bin/metadata_bench"
"$BENCH" --write-display-p3 "$WORK/display-p3.icc"

plain=()
tagged=()
while IFS=$'\t' read -r name width height megapixels kind _; do
  [ "$kind" = photo ] || continue
  case "$name" in *.jpg) ;; *) continue ;; esac
  awk -v m="$megapixels" 'BEGIN { exit !(m >= 10 && m <= 14) }' || continue
  plain+=("$CORPUS/$name")
  copy="$WORK/tagged-$name"
  cp "$CORPUS/$name" "$copy"
  convert "$CORPUS/$name" -thumbnail 160x120 "$WORK/thumb.jpg"
  exiftool -q -overwrite_original -Make=TallowinCam -Model='Test Model 7' \
    -DateTimeOriginal='2024:05:17 10:11:12' -Artist='Ada Author' -Copyright='Ada Author' \
    -GPSLatitude=48.8584 -GPSLatitudeRef=N -GPSLongitude=2.2945 -GPSLongitudeRef=E \
    -XMP-dc:Creator='Ada Author' -XMP-dc:Description='A test photo' -IPTC:By-line='Ada Author' \
    -IPTC:Keywords=bench -Orientation#=1 "-ThumbnailImage<=$WORK/thumb.jpg" \
    "-ICC_Profile<=$WORK/display-p3.icc" "$copy"
  tagged+=("$copy")
done < <(tail -n +2 "$CORPUS/MANIFEST.tsv")

[ ${#plain[@]} -gt 0 ] || { echo "no 10-14 megapixel JPEG photos in $CORPUS" >&2; exit 2; }
mkdir -p "$WORK/out"
echo "== corpus photos as they are"
"$BENCH" --repeat "$REPEATS" "$WORK/out" "${plain[@]}"
echo "== the same photos tagged like a phone photo, with a Display P3 profile"
"$BENCH" --repeat "$REPEATS" "$WORK/out" "${tagged[@]}"
