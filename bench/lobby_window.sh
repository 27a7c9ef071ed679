#!/usr/bin/env bash
# The lobby window's start and memory at rest against a bare Qt window, on
# a virtual X display, beside an avahi-daemon of its own (root), as on a
# desktop.
#   bench/lobby_window.sh [RUNS] [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-10}
build=${2:-$root/build}
exec bash "$root/tests/lobby/avahi_sandbox.sh" xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb \
  "$build/bin/lobby_window_bench" "$runs" "$build/bin/ombrix-lobby" "$build/bin/qt_window_peer"
