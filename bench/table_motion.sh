#!/usr/bin/env bash
# The table's frames in motion and in a resize, each deck's first render,
# and memory at rest against the table without motion, on a virtual X
# display at 1920x1080 (bench/table_motion_bench.cpp).
#   bench/table_motion.sh [BUILD_DIR] [--decks|--no-decks]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
export HOME=$(mktemp -d)  # the game's own files (tally, save) away from the player's
trap 'rm -rf "$HOME"' EXIT
exec xvfb-run -a -s "-screen 0 1920x1080x24" env QT_QPA_PLATFORM=xcb "$build/bin/table_motion_bench" "$@"
