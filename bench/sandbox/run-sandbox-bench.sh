#!/usr/bin/env bash
# run-sandbox-bench.sh [PHOTO]
# Builds the release tree (build-bench) and times decoding one photo for a 1024-pixel
# output in this process and through the decoder helper. Without PHOTO a 12-megapixel
# JPEG (4000 x 3000, quality 90) is made with ImageMagick.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${BUILD:-$ROOT/build-bench}
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_TESTS=OFF -DTALLOWIN_BENCH=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target sandbox_bench tallowin-decoder >/dev/null
PHOTO=${1:-}
if [ -z "$PHOTO" ]; then
  PHOTO=$BUILD/bench-12mp.jpg
  [ -f "$PHOTO" ] || convert -size 4000x3000 plasma:fractal -seed 7 -quality 90 "$PHOTO"
fi
"$BUILD/bin/sandbox_bench" "$PHOTO" "$BUILD/bin/tallowin-decoder" "${ROUNDS:-20}"
