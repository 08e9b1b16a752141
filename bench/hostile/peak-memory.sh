#!/usr/bin/env bash
# peak-memory.sh [TALLOWIN_BATCH] [FILE...]
#
# Converts each crafted file of tests/data/generated/hostile/ (or the files given)
# with tallowin-batch at the default settings, one run per file, under
# /usr/bin/time -v, and prints the peak resident memory of each run with the batch
# tool's exit status. Every crafted file must stay below 300 MB.
#
# Environment:
#   TALLOWIN_BATCH  the tallowin-batch to run (default: build/bin/tallowin-batch, else
#                   build-test/bin/tallowin-batch, beside the sources)
#   PEAK_LIMIT_MB   the ceiling to check against (default 300); the script exits 1
#                   when a run goes over it
set -euo pipefail

SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
BATCH=${TALLOWIN_BATCH:-}
if [ -z "$BATCH" ]; then
  for candidate in "$SOURCE_DIR/build/bin/tallowin-batch" "$SOURCE_DIR/build-test/bin/tallowin-batch"; do
    if [ -x "$candidate" ]; then BATCH=$candidate; break; fi
  done
fi
[ -x "${BATCH:-}" ] || { echo "peak-memory.sh: no tallowin-batch (set TALLOWIN_BATCH)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "peak-memory.sh: /usr/bin/time is missing (Debian package 'time')" >&2; exit 2; }
LIMIT_MB=${PEAK_LIMIT_MB:-300}

if [ $# -gt 0 ]; then
  FILES=("$@")
else
  FILES=()
  for f in "$SOURCE_DIR"/tests/data/generated/hostile/*; do
    case "$f" in *.py|*.md) continue ;; esac
    FILES+=("$f")
  done
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/tallowin-peak.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
# Default settings: a settings home of our own, nothing stored in it.
export XDG_CONFIG_HOME=$WORK/config HOME=$WORK/home TMPDIR=$WORK/tmp QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_CONFIG_HOME" "$HOME" "$TMPDIR" "$WORK/out"

printf '%-32s %10s %6s\n' file peak_MB exit
over=0
for f in "${FILES[@]}"; do
  status=0
  /usr/bin/time -v -o "$WORK/time.txt" "$BATCH" -q --overwrite always -o "$WORK/out" "$f" \
    >/dev/null 2>"$WORK/stderr.txt" || status=$?
  kb=$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' "$WORK/time.txt")
  mb=$(( (kb + 1023) / 1024 ))
  printf '%-32s %10d %6d\n' "$(basename "$f")" "$mb" "$status"
  if [ "$mb" -ge "$LIMIT_MB" ]; then over=1; fi
done
exit $over
