#!/usr/bin/env bash
# Inside tests/lobby/avahi_sandbox.sh: hosts three tables on the sandbox's
# network, seats people at two of them and starts a game at one, then runs
# a command (the lobby's picture) while they stand. Used by
# `scripts/screenshot.sh lobby`.
#   lobby_tables.sh BIN_DIR COMMAND [ARGS...]
set -euo pipefail
bin=$1
shift
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait; rm -rf "$work"' EXIT

n=0
host() {  # NAME [OPTIONS...]: hosts a table; its port in $port
  local log=$work/host$((++n)).log
  "$bin/ombrix-host" --port 0 --name "$@" 2>"$log" &
  pids+=($!)
  until grep -qs 'listening on port' "$log"; do read -r -t 0.05 <> <(:) || true; done
  port=$(grep -o 'listening on port [0-9]*' "$log" | grep -o '[0-9]*$')
}
sit() {  # PORT NAME: a table window reduced to its log-in, kept open (its descriptor in $seated)
  local msg
  exec {seated}<>"/dev/tcp/127.0.0.1/$1"
  IFS= read -r -d $'\xff' -u "$seated" msg  # CMD_sendlogininfo+SLOT
  printf 'CMD_logininfo+%s+1.0.14+%s\xff' "${msg##*+}" "$2" >&"$seated"
}
export LC_ALL=C

host "Reza's table"
sit "$port" Reza
host "Friday cards" --time-scale 4
sit "$port" Vivav
first=$seated
for who in Derev Ann Bo Cy Di; do sit "$port" "$who"; done
printf 'CMD_startgame+Vivav+f+\xff' >&"$first"
# Every seat watches: the computer plays the game on.
for seat in 1 2 3 4; do printf 'CMD_justwatch+%s+1\xff' "$seat" >&"$first"; done
host "Ombrix on $(hostname)"
# Until the game is a few rounds in.
until "$bin/ombrix-lobby" --list --json --wait 0.3 | grep -q '"name":"Friday cards".*"round":[3-9]'; do :; done
"$@"
