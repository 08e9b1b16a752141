#!/usr/bin/env bash
# Installs what is needed, builds Tallowin and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTALLOWIN_TESTS=OFF -DTALLOWIN_BENCH=OFF
cmake --build "$BUILD" -j2
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: the Tallowin window needs a desktop session." >&2
  echo "Without one, convert photos with $BUILD/bin/tallowin-batch (see --help)." >&2
  exit 1
fi
exec "$BUILD/bin/tallowin" "$@"
