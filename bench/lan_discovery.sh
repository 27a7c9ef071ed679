#!/usr/bin/env bash
# From `ombrix-host` start to its table in the lobby's list, against
# avahi-browse, inside a sandbox with an avahi-daemon of its own (root).
#   bench/lan_discovery.sh [RUNS] [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20}
build=${2:-$root/build}
exec bash "$root/tests/lobby/avahi_sandbox.sh" "$build/bin/lan_discovery_bench" "$runs" "$build/bin/ombrix-host"
