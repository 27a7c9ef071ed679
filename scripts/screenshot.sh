#!/usr/bin/env bash
# Takes docs/screenshot.png: a game in progress on a virtual X display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build >/dev/null
xvfb-run -a -s "-screen 0 1024x768x24" env OMBRIX_AUTOPLAY=1 OMBRIX_TIME_SCALE=2 \
  OMBRIX_SCREENSHOT="$root/docs/screenshot.png,${1:-9000}" build/bin/ombrix
echo "wrote docs/screenshot.png"
