#!/usr/bin/env bash
# Installs what is missing, builds the release programs into build/bin, and
# starts the game.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
if [[ -x build/bin/ombrix ]]; then
  exec build/bin/ombrix "$@"
elif [[ -x build/bin/ombrix-host ]]; then
  echo "The table window is not built yet; starting the headless host on port 7772." >&2
  exec build/bin/ombrix-host "$@"
else
  echo "Built the engine; no playable program exists yet. Run build/bin/engine_bench to watch it play." >&2
fi
