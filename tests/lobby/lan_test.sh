#!/usr/bin/env bash
# The lobby against real tables on a real avahi-daemon (run inside
# tests/lobby/avahi_sandbox.sh): a headless host's table appears in
# `ombrix-lobby --list --json`, follows a table that connects and a game
# that starts, and vanishes when the host stops; `--join` seats the game at
# that host; both sections of the shared settings file keep their bytes;
# house rules given to the game reach its record; `--no-announce` keeps a
# table off the list; without a daemon hosting goes on and --list says why.
#
#   lan_test.sh BIN_DIR
set -euo pipefail
bin=$1
[[ -n ${AVAHI_SANDBOX:-} ]] || { echo "SKIPPED: run inside tests/lobby/avahi_sandbox.sh"; exit 77; }
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
# The programs in a folder of the test's own: the shared settings file is
# the one beside them, the test's.
for p in ombrix ombrix-host ombrix-lobby; do cp -l "$bin/$p" "$work/" 2>/dev/null || cp "$bin/$p" "$work/"; done
export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen
mkdir -m 700 "$XDG_RUNTIME_DIR"
lobby=$work/ombrix-lobby
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# Lists the tables until one line matches (or, with -v, none does), for at
# most 20 seconds.
listed=
until_listed() {
  local invert=0
  [[ $1 == -v ]] && invert=1 && shift
  local deadline=$((SECONDS + 20))
  while ((SECONDS < deadline)); do
    listed=$("$lobby" --list --json --wait 0.3)
    if grep -qF -- "$1" <<<"$listed"; then ((invert)) || return 0; else ((invert)) && return 0; fi
  done
  echo "$listed" >&2
  fail "$( ((invert)) && echo "still listed" || echo "never listed"): $1"
}

# The plain listing, until a line matches, for at most 20 seconds: a short
# wait on a loaded machine may end before the daemon has resolved a table.
until_plain() {
  local deadline=$((SECONDS + 20)) plain
  while ((SECONDS < deadline)); do
    plain=$("$lobby" --list --wait 0.3)
    grep -qF -- "$1" <<<"$plain" && return 0
  done
  echo "$plain" >&2
  fail "$2"
}

# Waits for a line in a log, for at most 20 seconds.
until_logged() {
  local deadline=$((SECONDS + 20))
  until grep -qs -- "$2" "$1"; do
    ((SECONDS < deadline)) || { cat "$1" >&2; fail "never logged: $2"; }
    read -r -t 0.05 <> <(:) || true
  done
}

host_port() { grep -o 'listening on port [0-9]*' "$1" | grep -o '[0-9]*$'; }

# --- A headless host's table, followed --------------------------------------
"$work/ombrix-host" --port 0 --name "Test Table" --time-scale 20 2>"$work/host.log" &
host=$!
pids+=("$host")
until_logged "$work/host.log" 'listening on port'
port=$(host_port "$work/host.log")
address=169.254.231.1  # the sandbox's own
entry="\"name\":\"Test Table\",\"host\":\"$address\",\"port\":$port"
until_listed "{$entry,\"players\":0,\"watchers\":0,\"state\":\"waiting\",\"round\":0,\"version\":\"1.0.14\",\"source\":\"lan\"}"
# Once, though the daemon sees it over IPv4 and IPv6.
(($(grep -c '"Test Table"' <<<"$listed") == 1)) || fail "listed more than once: $listed"
until_plain "Test Table	$address:$port	0/4	0/5	waiting	1.0.14" "the plain line"

# A table connects and logs in (slot 1: it may start the game).
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf 'CMD_logininfo+1+1.0.14+Bea\xff' >&3
until_listed "{$entry,\"players\":1,\"watchers\":0,\"state\":\"waiting\""

# --- --join seats the game at that host ---------------------------------------
ini=$work/quarrowlobby.ini
printf '; shared by the game and the lobby\r\n[Ombrix]\r\nWidth = 100\r\nTextsize=10\r\n\r\n[Lobby]\r\nName=Old\r\nExtra = kept ; odd\r\n' >"$ini"
"$lobby" --join "$address:$port" --name Cid 2>"$work/join.log" &
joiner=$!
pids+=("$joiner")
until_logged "$work/host.log" 'slot 2 logged in as Cid'
until_listed "{$entry,\"players\":2,\"watchers\":0,\"state\":\"waiting\""
# The lobby wrote its name and not a byte more.
printf '; shared by the game and the lobby\r\n[Ombrix]\r\nWidth = 100\r\nTextsize=10\r\n\r\n[Lobby]\r\nName=Cid\r\nExtra = kept ; odd\r\n' |
  cmp - "$ini" || fail "the lobby changed more than its name"
lobby_section=$(sed -n '/^\[Lobby\]/,$p' "$ini")

# --- The game starts: the state follows --------------------------------------
printf 'CMD_startgame+Bea+f+\xff' >&3
until_listed "{$entry,\"players\":2,\"watchers\":0,\"state\":\"playing\",\"round\":1"

# The host's player removes Cid: the game closes, and with it the lobby.
printf 'CMD_kickhim+1+2+\xff' >&3
deadline=$((SECONDS + 30))
while kill -0 "$joiner" 2>/dev/null; do
  ((SECONDS < deadline)) || fail "the lobby did not end with its game"
  read -r -t 0.05 <> <(:) || true
done
wait "$joiner" || fail "ombrix-lobby --join ended with $?"
[[ $(sed -n '/^\[Lobby\]/,$p' "$ini") == "$lobby_section" ]] || fail "the game changed the lobby's section"
until_listed "{$entry,\"players\":1,\"watchers\":0,\"state\":\"playing\""

# --- Withdrawn when the host stops ----------------------------------------------
exec 3>&-
kill "$host"
wait "$host" || true
until_listed -v '"Test Table"'

# --- --host: the game hosts a table, announced under the player's name ---------
"$lobby" --host --name Dee 2>"$work/host-game.log" &
hoster=$!
pids+=("$hoster")
until_listed '{"name":"Dee","host":"'"$address"'","port":7772,"players":1,"watchers":0,"state":"waiting"'
until_logged "$work/host-game.log" 'the game runs as process'
game=$(grep -o 'the game runs as process [0-9]*' "$work/host-game.log" | grep -o '[0-9]*$')
kill "$game"
wait "$hoster" || fail "ombrix-lobby --host ended with $?"
until_listed -v '"Dee"'

# --- House rules: the words the lobby's Host a Table adds reach the record -------
status=0
"$work/ombrix" Eve 127.0.0.1 true --rules hook,hook 2>"$work/usage.err" || status=$?
((status == 2)) || fail "a wrong LIST ended the game with $status"
grep -qx 'ombrix: --rules: house rule "hook" named twice' "$work/usage.err" || fail "--rules: $(cat "$work/usage.err")"
"$work/ombrix" Eve 127.0.0.1 true --rules hook,scoring=tricks,rounds=downup 2>"$work/rules-game.log" &
ruled=$!
pids+=("$ruled")
until_listed '{"name":"Eve","host":"'"$address"'","port":7772,"players":1,"watchers":0,"state":"waiting","round":0,"version":"1.0.14","rules":"hook,scoring=tricks,rounds=downup","source":"lan"}'
until_plain "Eve	$address:7772	1/4	0/5	waiting, house rules hook,scoring=tricks,rounds=downup	1.0.14" \
  "the plain line's house rules"
kill "$ruled"
wait "$ruled" || true
until_listed -v '"Eve"'

# --- --no-announce --------------------------------------------------------------
"$work/ombrix-host" --port 0 --no-announce 2>"$work/quiet.log" &
quiet=$!
pids+=("$quiet")
until_logged "$work/quiet.log" 'listening on port'
"$lobby" --list --wait 1 | grep -q . && fail "a table hosted with --no-announce was listed"
grep -q 'announced' "$work/quiet.log" && fail "--no-announce spoke of announcing"
kill "$quiet"

# --- Without a daemon ------------------------------------------------------------
"$AVAHI_SANDBOX/avahi" stop
status=0
"$lobby" --list --wait 0.2 2>"$work/list.err" || status=$?
((status == 1)) || fail "--list without a daemon ended with $status"
grep -qx 'ombrix-lobby: tables on this network cannot be listed: the avahi-daemon service is not running' \
  "$work/list.err" || fail "--list without a daemon: $(cat "$work/list.err")"
"$work/ombrix-host" --port 0 2>"$work/alone.log" &
alone=$!
pids+=("$alone")
until_logged "$work/alone.log" 'listening on port'
until_logged "$work/alone.log" 'table not announced: avahi-daemon is not running'
exec 4<>"/dev/tcp/127.0.0.1/$(host_port "$work/alone.log")"
until_logged "$work/alone.log" 'connection accepted into slot 1'  # hosting as ever
exec 4>&-
(($(grep -c 'announced' "$work/alone.log") == 1)) || fail "more than one line about the announcement"
echo "lan_test: passed"
