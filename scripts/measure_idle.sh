#!/usr/bin/env bash
# Cost at rest: starts a solo game (table window and in-process host) on a
# virtual display, reports how long until the window is shown and seated,
# then the CPU it uses over SECONDS (default 60) while nothing happens.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
bin="$root/build/bin/ombrix"
[[ -x $bin ]] || { echo "build first: bash scripts/play.sh or cmake --build build" >&2; exit 1; }
log=$(mktemp)
start=$(date +%s.%N)
xvfb-run -a env QT_LOGGING_RULES='*.info=true' "$bin" >"$log" 2>&1 &
runner=$!
for _ in $(seq 1 200); do
  grep -q 'logged in as You' "$log" && break
  sleep 0.05
done
seated=$(date +%s.%N)
pid=$(pgrep -n -f "^$bin" || true)
[[ -n $pid ]] || { echo "the game did not start" >&2; cat "$log" >&2; exit 1; }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
sleep 2
t0=$(ticks "$pid")
sleep "$seconds"
t1=$(ticks "$pid")
kill "$pid" 2>/dev/null || true
wait "$runner" 2>/dev/null || true
rm -f "$log"
awk -v a="$start" -v b="$seated" 'BEGIN { printf "shown and seated after %.2f s (includes starting Xvfb)\n", b - a }'
awk -v d="$((t1 - t0))" -v hz="$hz" -v s="$seconds" 'BEGIN { printf "CPU at rest: %.3f %% of one core over %d s (%d ticks of 1/%d s)\n", 100 * d / hz / s, s, d, hz }'
