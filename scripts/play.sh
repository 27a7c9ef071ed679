#!/usr/bin/env bash
# Installs what is missing, builds the release programs into build/bin, and
# starts a solo game against three computer players.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  # No desktop to show the window on: run it on a virtual one rather than fail.
  echo "No display found (DISPLAY is not set): starting the game on a virtual display with xvfb-run." >&2
  echo "Set DISPLAY to play it; Ctrl-C stops it." >&2
  exec xvfb-run -a build/bin/ombrix "$@"
fi
exec build/bin/ombrix "$@"
