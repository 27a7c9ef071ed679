#!/usr/bin/env bash
# Builds the release programs and runs every benchmark against its peers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
corpus=build/bench-corpus
mkdir -p "$corpus"
# The King James text (about 4.4 MB) from Debian's bible-kjv, as plain text.
[[ -s $corpus/kjv.txt ]] || bible -f 'Gen1:1-Rev22:21' >"$corpus/kjv.txt"
echo "== engine"; build/bin/engine_bench 20000
echo "== compressor"; build/bin/compress_bench "$corpus/kjv.txt" /usr/share/dict/web2 || true
echo "== host latency"; build/bin/host_latency_bench 30 || true
echo "== computer players"; build/bin/bot_arena --games 2000 --inference || true
echo "== exact ends of a round"; build/bin/endgame_bench || true
echo "== hostile peers"; build/bin/host_hostile_bench 20 || true
# These two need root: a network namespace with an avahi-daemon of their own.
echo "== lobby: from ombrix-host start to its table in the list"; bash bench/lan_discovery.sh 20 build || true
echo "== lobby window"; bash bench/lobby_window.sh 10 build || true
echo "== lobby server"; build/bin/lobbyd_bench all 30 || true
echo "== saved game"; build/bin/save_bench 200 build/bin || true
