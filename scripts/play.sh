#!/usr/bin/env bash
# Installs what is missing, builds the release programs into build/bin, and
# starts a solo game against three computer players, as whoever runs it: a
# player's settings, tally and save are then the player's own. Run by a
# player, missing packages are installed through sudo (or it says how to
# install them as root once); run as root (a fresh machine, CI), directly.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if ((EUID != 0)) && ! bash scripts/setup.sh --check 2>/dev/null; then
  bash scripts/setup.sh --check || true
  if command -v sudo >/dev/null && sudo -v; then
    echo "play: installing them with sudo" >&2
    sudo bash scripts/setup.sh --packages
  else
    echo "play: these Debian packages are missing and sudo cannot install them here." >&2
    echo "play: run this once as root, then scripts/play.sh again as yourself:" >&2
    echo "        su -c 'bash $root/scripts/setup.sh --packages'" >&2
    exit 1
  fi
fi
# As root everything; as a player what is left (the web table's npm packages).
bash scripts/setup.sh
# A build folder root made earlier cannot take this user's build.
for d in build build/bin; do
  if [[ -e $d && ! -w $d ]]; then
    echo "play: $root/$d belongs to $(stat -c %U "$d"), not to you: remove it ('sudo rm -rf $root/build') and run scripts/play.sh again" >&2
    exit 1
  fi
done
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
# The programs only: the tests and benchmarks are a developer's to build.
cmake --build build --target ombrix ombrix-lobby ombrix-host ombrix-lobbyd ombrix-lzrw1
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  # No desktop to show the window on: run it on a virtual one rather than fail.
  echo "No display found (DISPLAY is not set): starting the game on a virtual display with xvfb-run." >&2
  echo "Set DISPLAY to play it; Ctrl-C stops it." >&2
  exec xvfb-run -a build/bin/ombrix "$@"
fi
exec build/bin/ombrix "$@"
