#!/usr/bin/env bash
# The programs' command lines as a user meets them: --help and --version
# (the game's without any desktop), wrong options, and ombrix-host's
# --bind and --bot-skill, stopped by SIGTERM.
#   command_lines_test.sh GAME HOST LZRW1 LOBBY [LOBBYD]
set -euo pipefail
game=$1 host=$2 lzrw1=$3 lobby=$4 lobbyd=${5:-}
fail=0
expect() {  # expect DESCRIPTION STATUS PATTERN COMMAND...
  local what=$1 want=$2 pattern=$3 out status=0
  shift 3
  out=$("$@" 2>&1) || status=$?
  if [[ $status != "$want" ]] || ! grep -Eq -- "$pattern" <<<"$out"; then
    printf 'FAILED: %s (status %s, wanted %s; output:)\n%s\n' "$what" "$status" "$want" "$out" >&2
    fail=1
  fi
}
nodesk=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
expect "ombrix --version without a desktop" 0 '^Ombrix 1\.0\.14 \(build [^)]+\)$' "${nodesk[@]}" "$game" --version
expect "ombrix --help without a desktop" 0 'Usage: .*ombrix \[options\] \[name address host\]' \
  "${nodesk[@]}" "$game" --help
expect "ombrix --help names the parameters" 0 '"true" to host' "${nodesk[@]}" "$game" -h
expect "ombrix refuses an unknown option" 2 "Unknown option 'nosuch'" \
  env QT_QPA_PLATFORM=offscreen "$game" --nosuch
expect "ombrix-host --version" 0 '^ombrix-host 1\.0\.14 \(build [^)]+\)$' "$host" --version
expect "ombrix-host --help" 0 '--bind ADDRESS' "$host" --help
expect "ombrix-host refuses an unknown option" 2 'usage: ombrix-host' "$host" --nosuch
expect "ombrix-host refuses a skill it does not know" 2 'bot-skill classic[|]standard[|]strong' \
  "$host" --bot-skill Strong
expect "ombrix-host cannot bind an address it lacks" 1 'cannot listen on port 0 at 192\.0\.2\.1' \
  "$host" --port 0 --bind 192.0.2.1 --no-announce
expect "ombrix-lobby --version without a desktop" 0 '^ombrix-lobby 1\.0\.14 \(build [^)]+\)$' \
  "${nodesk[@]}" "$lobby" --version
expect "ombrix-lobby --help without a desktop" 0 '--list +Print the tables on this network' "${nodesk[@]}" "$lobby" --help
expect "ombrix-lobby wants one thing to do" 2 'give one of --list, --join ADDRESS, --host' \
  "${nodesk[@]}" "$lobby" --list --host
expect "ombrix-lobby --join needs a name" 2 '--join and --host need --name NAME' "${nodesk[@]}" "$lobby" --join h
expect "ombrix-lobby --join needs an address" 2 '"not an address" is not an address' \
  "${nodesk[@]}" "$lobby" --join "not an address" --name Ann
expect "ombrix-lobby refuses a lobby server that is no address" 2 'is not a lobby server.s address' \
  "${nodesk[@]}" "$lobby" --list --server '[no-such'
expect "ombrix-lobby --join +CODE needs a code" 2 '"[+]12" is not an invite code' \
  "${nodesk[@]}" "$lobby" --join +12 --name Ann --server 127.0.0.1
expect "ombrix-lobby --rules are the host's" 2 'house rules are the host.s' \
  "${nodesk[@]}" "$lobby" --join h --name Ann --rules hook
expect "ombrix-lobby --rules names rules it knows" 2 '--rules: .*trumps' \
  "${nodesk[@]}" "$lobby" --host --name Ann --rules trumps
# A game open on this desktop (its lock held by a live process, in Qt's
# lock-file form) is said, and no second game is started to raise it.
runtime=$(mktemp -d)
sleep 60 &
holder=$!
printf '%s\nsleep\n%s\n%s\n%s\n' "$holder" "$(hostname)" "$(cat /etc/machine-id 2>/dev/null)" \
  "$(cat /proc/sys/kernel/random/boot_id)" >"$runtime/ombrix-$(id -u)-offscreen.lock"
expect "ombrix-lobby --host with a game open" 1 'game is open on this desktop.*end it' \
  env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime" \
  timeout 30 "$lobby" --host --name Ann --rules hook
kill "$holder"
rm -rf "$runtime"
expect "ombrix-lobby --list --wait takes seconds" 2 '--wait takes seconds' "${nodesk[@]}" "$lobby" --list --wait x
expect "ombrix-host --private needs --lobby-server" 2 'usage: ombrix-host' "$host" --private
expect "ombrix-host --no-port-mapping needs --lobby-server" 2 'usage: ombrix-host' "$host" --no-port-mapping
expect "ombrix-host refuses a lease shorter than two seconds" 2 'usage: ombrix-host' \
  "$host" --lobby-server 127.0.0.1 --port-mapping-lease 1
expect "ombrix-host refuses a lobby server that is no address" 2 'not a HOST\[:PORT\]' \
  "$host" --port 0 --bind 127.0.0.1 --no-announce --lobby-server '[no-such'
if [[ -n $lobbyd ]]; then
  expect "ombrix-lobbyd --version" 0 '^ombrix-lobbyd 1\.0\.14 \(build [^)]+\)$' "$lobbyd" --version
  expect "ombrix-lobbyd --help" 0 '--bind ADDRESS' "$lobbyd" --help
  expect "ombrix-lobbyd refuses a port out of range" 2 'usage: ombrix-lobbyd' "$lobbyd" --port 70000
  expect "ombrix-lobbyd cannot bind an address it lacks" 1 'cannot listen on port 0 at 192\.0\.2\.1' \
    "$lobbyd" --port 0 --bind 192.0.2.1
fi
expect "ombrix-lzrw1 --version" 0 '^ombrix-lzrw1 1\.0\.14 \(build [^)]+\)$' "$lzrw1" --version
expect "ombrix-lzrw1 --help" 0 'decompress IN OUT' "$lzrw1" --help

# Bound to the loopback address, on any free port; SIGTERM stops it cleanly.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$host" --port 0 --bind 127.0.0.1 --bot-skill strong --no-announce 2>"$log" &
pid=$!
if ! grep -q -m1 'listening on port [0-9]* at 127\.0\.0\.1' < <(timeout 30 tail -n +1 --pid="$pid" -f "$log"); then
  echo "FAILED: ombrix-host --bind 127.0.0.1 did not listen" >&2
  fail=1
fi
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
if ((status != 0)) || ! grep -q 'stopping' "$log"; then
  echo "FAILED: ombrix-host did not stop cleanly on SIGTERM (status $status)" >&2
  cat "$log" >&2
  fail=1
fi
exit "$fail"
