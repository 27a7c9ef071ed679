#!/usr/bin/env bash
# Takes the README's pictures of a game on a virtual X display:
#   scripts/screenshot.sh [TABLE_MS [CHART_MS]]  docs/screenshot.png, a game in progress,
#                                                and docs/scorechart.png, the score card's chart
#   scripts/screenshot.sh keys                   docs/keyboard.png, the keyboard's mark on the hand
#   scripts/screenshot.sh lobby                  docs/lobby.png, the lobby with three tables on a
#                                                network of its own (root: a network namespace
#                                                with an avahi-daemon)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
# The programs pictured, not the tests and benchmarks.
cmake --build build --target ombrix ombrix-lobby ombrix-host >/dev/null
if [[ "${1:-}" == lobby ]]; then
  # The lobby beside its own settings file, its player's name filled in.
  shots=$(mktemp -d)
  trap 'rm -rf "$shots"' EXIT
  cp build/bin/ombrix-lobby build/bin/ombrix "$shots/"
  printf '[Lobby]\r\nName=Ann\r\n' >"$shots/quarrowlobby.ini"
  bash tests/lobby/avahi_sandbox.sh bash scripts/lobby_tables.sh build/bin \
    xvfb-run -a -s "-screen 0 1024x768x24" env OMBRIX_SCREENSHOT="$root/docs/lobby.png,2500" "$shots/ombrix-lobby"
  echo "wrote docs/lobby.png"
  exit
fi
if [[ "${1:-}" == keys ]]; then
  # Seat 1 played by key presses; pictured at a turn with a choice, from round 6 on.
  xvfb-run -a -s "-screen 0 1024x768x24" env OMBRIX_KEYPLAY=6 OMBRIX_TIME_SCALE=8 \
    OMBRIX_SCREENSHOT="$root/docs/keyboard.png,300000" build/bin/ombrix
  echo "wrote docs/keyboard.png"
  exit
fi
xvfb-run -a -s "-screen 0 1024x768x24" env OMBRIX_AUTOPLAY=1 OMBRIX_TIME_SCALE=2 \
  OMBRIX_SCREENSHOT="$root/docs/screenshot.png,${1:-9000}" build/bin/ombrix
xvfb-run -a -s "-screen 0 1024x768x24" env OMBRIX_AUTOPLAY=1 OMBRIX_TIME_SCALE=10 \
  OMBRIX_SCREENSHOT="$root/docs/scorechart.png,${2:-40000},Tscore,button_chart" build/bin/ombrix
echo "wrote docs/screenshot.png and docs/scorechart.png"
