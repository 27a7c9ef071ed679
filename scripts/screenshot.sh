#!/usr/bin/env bash
# Takes the README's pictures of a game on a virtual X display:
#   scripts/screenshot.sh [TABLE_MS [CHART_MS]]  docs/screenshot.png, a game in progress,
#                                                and docs/scorechart.png, the score card's chart
#   scripts/screenshot.sh keys                   docs/keyboard.png, the keyboard's mark on the hand
#   scripts/screenshot.sh sizes                  docs/table-790.png, docs/table-1920.png and
#                                                docs/table-scale2.png: the table at the design size,
#                                                filling 1920x1080, and at scale 2
#   scripts/screenshot.sh trick                  docs/trick.gif, a trick played and gathered
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
if [[ "${1:-}" == sizes ]]; then
  # A game in round 3 or so at three sizes of the window; the same deal each time.
  shot() {  # FILE SCREEN WINDOW [env...]
    local file=$1 screen=$2 window=$3
    shift 3
    xvfb-run -a -s "-screen 0 ${screen}x24" env OMBRIX_AUTOPLAY=1 OMBRIX_TIME_SCALE=2 OMBRIX_WINDOW="$window" \
      "$@" OMBRIX_SCREENSHOT="$root/docs/$file,9000" build/bin/ombrix
  }
  shot table-790.png 1024x768 790x520
  shot table-1920.png 1920x1080 1920x1080
  shot table-scale2.png 1920x1080 790x520 QT_SCALE_FACTOR=2
  echo "wrote docs/table-790.png, docs/table-1920.png and docs/table-scale2.png"
  exit
fi
if [[ "${1:-}" == trick ]]; then
  # Pictures of the table every 40 ms from the first card of a trick, made
  # into a looping GIF (python3-pil).
  frames=$(mktemp -d)
  trap 'rm -rf "$frames"' EXIT
  xvfb-run -a -s "-screen 0 1024x768x24" env OMBRIX_AUTOPLAY=1 OMBRIX_TIME_SCALE=1 OMBRIX_WINDOW=790x520 \
    OMBRIX_FRAMES="$frames,110,40" build/bin/ombrix
  # Debian's own Python, which python3-pil is installed for.
  /usr/bin/python3 - "$frames" "$root/docs/trick.gif" <<'PY'
import glob, sys
from PIL import Image
frames = [Image.open(f).convert("RGB") for f in sorted(glob.glob(sys.argv[1] + "/frame*.png"))]
# Two thirds of the size in 64 colours of one palette: a README picture of a few hundred KB.
small = [f.resize((f.width * 2 // 3, f.height * 2 // 3), Image.LANCZOS) for f in frames]
palette = small[len(small) // 2].quantize(64)
small = [f.quantize(palette=palette, dither=Image.Dither.NONE) for f in small]
small[0].save(sys.argv[2], save_all=True, append_images=small[1:], duration=40, loop=0, optimize=True)
PY
  echo "wrote docs/trick.gif"
  exit
fi
xvfb-run -a -s "-screen 0 1024x768x24" env OMBRIX_AUTOPLAY=1 OMBRIX_TIME_SCALE=2 \
  OMBRIX_SCREENSHOT="$root/docs/screenshot.png,${1:-9000}" build/bin/ombrix
xvfb-run -a -s "-screen 0 1024x768x24" env OMBRIX_AUTOPLAY=1 OMBRIX_TIME_SCALE=10 \
  OMBRIX_SCREENSHOT="$root/docs/scorechart.png,${2:-40000},Tscore,button_chart" build/bin/ombrix
echo "wrote docs/screenshot.png and docs/scorechart.png"
