#!/usr/bin/env bash
# Decode + resample to 1024 px wide + JPEG quality 80 on real photos, side by side:
#   ours      codec_bench (release build) through the codec service
#   magick    ImageMagick: convert -filter Catrom -resize 1024x -quality 80 (one thread)
#   djpeg     djpeg at the DCT scale that still gives >= 1024 px, piped into cjpeg -quality 80
#             (no resampling at all: a lower bound for any decode + encode)
# Prints milliseconds per photo, per megapixel and the two ratios the targets name
# (magick / ours >= 3, ours / djpeg <= 1.5).
#
# usage: run_codec_bench.sh [CORPUS_FOLDER] [MAX_PHOTOS]
# CORPUS_FOLDER defaults to $BENCH_CORPUS, else build/bench/corpus/ in the source tree; the
# corpus comes from shared/bench/make-corpus.sh (MANIFEST.tsv beside the photos). The
# Release tree is $BENCH_BUILD, default build/bench/release/ (shared with run-bench.sh).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
corpus=${1:-${BENCH_CORPUS:-$root/build/bench/corpus}}
max=${2:-12}
width=1024
build=${BENCH_BUILD:-$root/build/bench/release}

# The same options as run-bench.sh: the two share one tree.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_SANITIZE=OFF -DTALLOWIN_TESTS=OFF -DTALLOWIN_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target codec_bench >/dev/null

mapfile -t rows < <(awk -F'\t' '!/^#/ && $1 != "name" && $5 == "photo" {print $1 "\t" $2 "\t" $4}' \
    "$corpus/MANIFEST.tsv" | head -n "$max")
[ "${#rows[@]}" -gt 0 ] || { echo "no photos in $corpus/MANIFEST.tsv" >&2; exit 1; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mkdir -p "$out/ours" "$out/magick" "$out/djpeg"

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

photos=()
for row in "${rows[@]}"; do photos+=("$corpus/${row%%$'\t'*}"); done

declare -A ours
while IFS=$'\t' read -r name _ _ total _; do
    [ "$name" = photo ] || [ "$name" = SUMMARY ] || ours[$name]=$total
done < <(QT_QPA_PLATFORM=offscreen "$build/bin/codec_bench" --width "$width" "$out/ours" "${photos[@]}")

printf '%-48s %6s %10s %10s %10s\n' photo MP ours_ms magick_ms djpeg_ms
sum_ours=0; sum_magick=0; sum_djpeg=0; sum_mp=0; n=0
for row in "${rows[@]}"; do
    IFS=$'\t' read -r name w mp <<<"$row"
    photo="$corpus/$name"
    [ -n "${ours[$name]:-}" ] || { echo "$name: codec_bench failed" >&2; continue; }

    t0=$(now_ms)
    MAGICK_THREAD_LIMIT=1 convert "$photo" -filter Catrom -resize "${width}x" -quality 80 "$out/magick/$name"
    t1=$(now_ms)

    scale=8
    for m in 1 2 4; do
        if [ $(( w * m / 8 )) -ge "$width" ]; then scale=$m; break; fi
    done
    t2=$(now_ms)
    djpeg -scale "$scale/8" "$photo" | cjpeg -quality 80 >"$out/djpeg/$name"
    t3=$(now_ms)

    magick=$((t1 - t0)); dj=$((t3 - t2))
    printf '%-48s %6s %10s %10s %10s\n' "${name:0:48}" "$mp" "${ours[$name]}" "$magick" "$dj"
    sum_ours=$(echo "$sum_ours + ${ours[$name]}" | bc -l)
    sum_magick=$((sum_magick + magick)); sum_djpeg=$((sum_djpeg + dj))
    sum_mp=$(echo "$sum_mp + $mp" | bc -l); n=$((n + 1))
done

[ "$n" -gt 0 ] || exit 1
printf '\nper photo (ms):       ours %.1f   magick %.1f   djpeg+cjpeg %.1f\n' \
    "$(echo "$sum_ours / $n" | bc -l)" "$(echo "$sum_magick / $n" | bc -l)" "$(echo "$sum_djpeg / $n" | bc -l)"
printf 'per megapixel (ms):   ours %.2f   magick %.2f   djpeg+cjpeg %.2f\n' \
    "$(echo "$sum_ours / $sum_mp" | bc -l)" "$(echo "$sum_magick / $sum_mp" | bc -l)" "$(echo "$sum_djpeg / $sum_mp" | bc -l)"
printf 'magick / ours = %.2f (target >= 3)   ours / djpeg+cjpeg = %.2f (target <= 1.5)\n' \
    "$(echo "$sum_magick / $sum_ours" | bc -l)" "$(echo "$sum_ours / $sum_djpeg" | bc -l)"
