#!/usr/bin/env bash
# run-bench.sh [CORPUS]
#
# Times tallowin-batch against ImageMagick, GraphicsMagick and libvips on the same
# photos, side by side in one run, for five jobs: JPEG 1024 px quality 80, PNG
# 1024 px, GIF 256 colours with dithering, 8-bit BMP with dithering, TIFF at the
# original size. Each tool runs once with one core and once with every core; the
# table gives the median wall time, the median CPU time (user + system), the peak
# memory of any one process and the wall time as a ratio to ImageMagick's.
#
# Every command runs under a small reaper (a child subreaper made from C source here),
# so the CPU time and peak memory include processes a tool leaves to end on their own,
# such as tallowin's decoder helpers; it times the command itself, to the millisecond.
# The repeats of one measurement are interleaved across the tools (im, gm, vips,
# tallowin; gm, vips, tallowin, im; ...), so a machine whose load changes during the run
# affects every tool alike, and no tool always runs after the same other one. With the
# tool "inproc" (tallowin-batch decoding in its own process instead of in helpers), the
# helpers' cost is printed after the table as the median of each repeat's ratio,
# tallowin against inproc timed side by side: a paired figure, steadier on a machine
# whose speed drifts than the ratio of two medians.
#
# Environment:
#   TALLOWIN_BATCH  the tallowin-batch to time (default: a Release build made in
#                   $BENCH_BUILD, default build/bench/release/ in the source tree)
#   BENCH_PHOTOS    photos of kind "photo" taken from the corpus (default 10)
#   BENCH_ALL       1: every file of the corpus instead (the photos, the PNG inputs, the
#                   50-megapixel JPEG and the progressive artwork); BENCH_PHOTOS is ignored
#   BENCH_REPEATS   runs per measurement (default 3)
#   BENCH_JOBS      jobs to time, any of: jpeg png gif bmp8 tiff (default all)
#   BENCH_TOOLS     tools to time, any of: im gm vips tallowin inproc baseline (default: all
#                   but inproc; ratios need im)
#   TALLOWIN_BASELINE  another tallowin-batch (an earlier build, with its helpers beside it)
#                   timed as the tool "baseline" the same way, interleaved with the rest
# CORPUS defaults to $BENCH_CORPUS, else build/bench/corpus/ in the source tree; it is
# made by shared/bench/make-corpus.sh (MANIFEST.tsv lists it).
set -euo pipefail

SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
CORPUS=${1:-${BENCH_CORPUS:-$SOURCE_DIR/build/bench/corpus}}
PHOTOS=${BENCH_PHOTOS:-10}
REPEATS=${BENCH_REPEATS:-3}
CORES=$(nproc)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/tallowin-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

[ -f "$CORPUS/MANIFEST.tsv" ] || { echo "no corpus at $CORPUS (make it with make-corpus.sh)" >&2; exit 2; }

# The peers are installed for the benchmark only.
need=""
command -v gm >/dev/null || need="$need graphicsmagick"
command -v vipsthumbnail >/dev/null || need="$need libvips-tools"
command -v convert-im6.q16 >/dev/null || need="$need imagemagick"
if [ -n "$need" ]; then
  apt-get install -y -o DPkg::Lock::Timeout=900 $need >/dev/null || {
    apt-get update >/dev/null && apt-get install -y -o DPkg::Lock::Timeout=900 $need >/dev/null; }
fi
IM=$(command -v convert-im6.q16 || command -v convert)

if [ -z "${TALLOWIN_BATCH:-}" ]; then
  BUILD=${BENCH_BUILD:-$SOURCE_DIR/build/bench/release}
  cmake -S "$SOURCE_DIR" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_SANITIZE=OFF \
        -DTALLOWIN_TESTS=OFF -DTALLOWIN_BENCH=ON >/dev/null
  cmake --build "$BUILD" -j "$CORES" --target tallowin-batch photo >/dev/null
  TALLOWIN_BATCH=$BUILD/bin/tallowin-batch
fi

# The corpus rows: one file a line, besides the header ("name ...") and comment lines.
if [ "${BENCH_ALL:-0}" = 1 ]; then
  PICK='$1 !~ /^#/ && $1 != "name" && $1 != "" { print }'
  COUNT=100000
  WHAT=files
else
  PICK='$1 !~ /^#/ && $5 == "photo" && $1 ~ /\.jpg$/ { print }'
  COUNT=$PHOTOS
  WHAT=photos
fi
mapfile -t FILES < <(awk -F'\t' "$PICK" "$CORPUS/MANIFEST.tsv" | head -n "$COUNT" | cut -f1 | sed "s|^|$CORPUS/|")
MEGAPIXELS=$(awk -F'\t' "$PICK" "$CORPUS/MANIFEST.tsv" | head -n "$COUNT" | cut -f4 \
              | awk '{ s += $1 } END { printf "%.1f", s }')
export IM

# The reaper: becomes the subreaper of the command it runs (argv[2...]) and waits for
# every descendant, then writes "wall cpu peakKiB" of them all to the file argv[1]:
# seconds from the start to the last one's end, their user + system seconds, and the
# largest resident size any one of them reached.
REAP=$WORK/reap
cc -O2 -o "$REAP" -x c - <<'EOF'
#include <errno.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
static double Seconds(struct timeval t) { return (double)t.tv_sec + (double)t.tv_usec / 1e6; }
int main(int argc, char** argv) {
    if (argc < 3) return 2;
    prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) { execvp(argv[2], argv + 2); _exit(127); }
    int result = 1, status = 0;
    for (;;) {
        pid_t pid = wait(&status);
        if (pid < 0) { if (errno == EINTR) continue; break; }
        if (pid == child) result = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    struct rusage used;
    getrusage(RUSAGE_CHILDREN, &used);
    FILE* out = fopen(argv[1], "w");
    if (out == NULL) return 2;
    fprintf(out, "%.3f %.3f %ld\n", (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9,
            Seconds(used.ru_utime) + Seconds(used.ru_stime), used.ru_maxrss);
    return fclose(out) == 0 ? result : 2;
}
EOF

# The command of one tool for one job: $1 tool, $2 job, $3 output folder, $4 jobs at once.
# Peers run one process per photo (xargs -P for several at once), as scripts use them.
command_for() {
  local tool=$1 job=$2 out=$3 jobs=$4 each
  if [ "$tool" = tallowin ] || [ "$tool" = inproc ] || [ "$tool" = baseline ]; then
    local program=$TALLOWIN_BATCH
    [ "$tool" = baseline ] && program=$TALLOWIN_BASELINE
    [ "$tool" = inproc ] && printf 'TALLOWIN_DECODER_HELPER=off '
    local options
    case $job in
      jpeg) options="-f jpg --width 1024 --quality 80" ;;
      png)  options="-f png --width 1024" ;;
      gif)  options="-f gif --width 1024" ;;
      bmp8) options="-f bmp --bits 8 --width 1024" ;;
      tiff) options="-f tif --original-size" ;;
    esac
    printf '%q ' "$program" -q --overwrite always -j "$jobs" -o "$out" $options "${FILES[@]}"
    return
  fi
  case $tool.$job in
    im.jpeg)   each='"$IM" "$0" -filter Catrom -resize 1024x -quality 80 "$1/$(basename "${0%.*}").jpg"' ;;
    im.png)    each='"$IM" "$0" -filter Catrom -resize 1024x "$1/$(basename "${0%.*}").png"' ;;
    im.gif)    each='"$IM" "$0" -filter Catrom -resize 1024x -dither FloydSteinberg -colors 256 "$1/$(basename "${0%.*}").gif"' ;;
    im.bmp8)   each='"$IM" "$0" -filter Catrom -resize 1024x -dither FloydSteinberg -colors 256 -type Palette "BMP3:$1/$(basename "${0%.*}").bmp"' ;;
    im.tiff)   each='"$IM" "$0" -compress LZW "$1/$(basename "${0%.*}").tif"' ;;
    gm.jpeg)   each='gm convert "$0" -filter Catrom -resize 1024x -quality 80 "$1/$(basename "${0%.*}").jpg"' ;;
    gm.png)    each='gm convert "$0" -filter Catrom -resize 1024x "$1/$(basename "${0%.*}").png"' ;;
    gm.gif)    each='gm convert "$0" -filter Catrom -resize 1024x -dither -colors 256 "$1/$(basename "${0%.*}").gif"' ;;
    gm.bmp8)   each='gm convert "$0" -filter Catrom -resize 1024x -dither -colors 256 -type Palette "BMP3:$1/$(basename "${0%.*}").bmp"' ;;
    gm.tiff)   each='gm convert "$0" -compress LZW "$1/$(basename "${0%.*}").tif"' ;;
    vips.jpeg) each='vipsthumbnail "$0" --size 1024x -o "$1/%s.jpg[Q=80]"' ;;
    vips.png)  each='vipsthumbnail "$0" --size 1024x -o "$1/%s.png"' ;;
    vips.gif)  each='vipsthumbnail "$0" --size 1024x -o "$1/%s.gif[dither=1]"' ;;
    vips.tiff) each='vips copy "$0" "$1/$(basename "${0%.*}").tif[compression=lzw]"' ;;
    *) return 1 ;;  # no equivalent (libvips writes no indexed BMP)
  esac
  printf 'printf "%%s\\n" %s | xargs -P %d -I{} sh -c %q {} %q' "$(printf '%q ' "${FILES[@]}")" "$jobs" "$each" "$out"
}

# Runs a command once into $WORK/out; prints "wall cpu peakKiB", or nothing when it failed.
run_once() {
  local command=$1 limit=$2
  rm -rf "$WORK/out" && mkdir -p "$WORK/out"
  if ! env MAGICK_THREAD_LIMIT="$limit" OMP_NUM_THREADS="$limit" VIPS_CONCURRENCY="$limit" \
       "$REAP" "$WORK/time" bash -c "$command" >/dev/null 2>"$WORK/errors"; then
    echo "failed: $(head -c 300 "$WORK/errors")" >&2
    return
  fi
  cat "$WORK/time"
}

# The median of "a/b - 1" in per cent, with a sign, over the lines of $1: a and b are
# the fields $2 and $3 of each line.
paired_cost() {
  printf '%s' "$1" | awk -v a="$2" -v b="$3" '{ print 100 * ($a / $b - 1) }' | median \
    | awk '{ printf "%+.1f%%", $1 }'
}

median() {
  sort -g | awk '{ a[NR] = $1 } END { if (NR == 0) print "-"; else print a[int((NR + 1) / 2)] }'
}

echo "# tallowin-batch against its peers"
echo
echo "$(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')), ${#FILES[@]} $WHAT" \
     "(${MEGAPIXELS} megapixels in all), median of $REPEATS interleaved runs."
echo "Versions: $("$IM" -version | head -1 | cut -d' ' -f2-3); GraphicsMagick $(gm -version | head -1 | cut -d' ' -f2);" \
     "$(vips --version)."
echo
echo "| Job | Cores | Tool | Wall s | CPU s | Peak MiB | Wall / ImageMagick |"
echo "|---|---|---|---|---|---|---|"
TOOLS=${BENCH_TOOLS:-im gm vips tallowin${TALLOWIN_BASELINE:+ baseline}}
declare -A commands walls cpus peaks
costs=""
for job in ${BENCH_JOBS:-jpeg png gif bmp8 tiff}; do
  for cores in 1 "$CORES"; do
    # One core: every tool gets one thread. All cores: the tools pick their own.
    limit=$([ "$cores" = 1 ] && echo 1 || echo "$CORES")
    for tool in $TOOLS; do
      commands[$tool]=$(command_for "$tool" "$job" "$WORK/out" "$cores") || commands[$tool]=""
      walls[$tool]=""
      cpus[$tool]=""
      peaks[$tool]=0
    done
    pairs=""  # a line a repeat: tallowin's and inproc's "wall cpu peakKiB"
    for ((i = 0; i < REPEATS; i++)); do
      declare -A round=()
      # Each repeat starts one tool later: a run is cheaper right after another that
      # freed much memory (the kernel hands its pages out again at once; pages free for
      # longer cost more to take), so no tool may always follow the same one.
      read -r -a order <<< "$TOOLS"
      order=("${order[@]:i % ${#order[@]}}" "${order[@]:0:i % ${#order[@]}}")
      for tool in "${order[@]}"; do
        [ -n "${commands[$tool]}" ] || continue
        result=$(run_once "${commands[$tool]}" "$limit")
        [ -n "$result" ] || continue
        round[$tool]=$result
        read -r wall cpu rss <<< "$result"
        walls[$tool]+="$wall "
        cpus[$tool]+="$cpu "
        [ "$rss" -gt "${peaks[$tool]}" ] && peaks[$tool]=$rss
      done
      # A pair only when both runs of this repeat succeeded.
      if [ -n "${round[tallowin]:-}" ] && [ -n "${round[inproc]:-}" ]; then
        pairs+="${round[tallowin]} ${round[inproc]}"$'\n'
      fi
    done
    if [ -n "$pairs" ]; then
      costs+="| $job | $cores | $(printf '%s' "$pairs" | wc -l) | $(paired_cost "$pairs" 1 4) | $(paired_cost "$pairs" 2 5) |"$'\n'
    fi
    imWall=""
    for tool in $TOOLS; do
      if [ -z "${commands[$tool]}" ]; then
        echo "| $job | $cores | $tool | n/a | n/a | n/a | n/a |"
        continue
      fi
      wall=$(printf '%s\n' ${walls[$tool]} | median)
      cpu=$(printf '%s\n' ${cpus[$tool]} | median)
      peak=$([ "$wall" = "-" ] && echo "-" || echo $((peaks[$tool] / 1024)))
      [ "$tool" = im ] && imWall=$wall
      ratio="-"
      if [ "$wall" != "-" ] && [ -n "$imWall" ] && [ "$imWall" != "-" ]; then
        ratio=$(echo "scale=2; $wall / $imWall" | bc)
      fi
      echo "| $job | $cores | $tool | $wall | $cpu | $peak | $ratio |"
    done
  done
done
if [ -n "$costs" ]; then
  echo
  echo "Decoding in helpers against decoding in the tool's own process (inproc): the median,"
  echo "over the repeats, of each repeat's tallowin / inproc - 1."
  echo
  echo "| Job | Cores | Pairs | Wall | CPU |"
  echo "|---|---|---|---|---|"
  printf '%s' "$costs"
fi
