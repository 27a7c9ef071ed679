#!/usr/bin/env bash
# The game run by a player from a folder that player cannot write, as a copy
# installed for the whole system is. On a virtual X display it hosts a solo
# game; its window is moved and SIGTERM closes it. Then: a clean exit, the
# settings (with the new position) in $XDG_CONFIG_HOME/ombrix, the tally in
# the default $XDG_DATA_HOME (~/.local/share/ombrix), the lock and the local
# socket in $XDG_RUNTIME_DIR while it ran, and nothing new beside the program.
#
#   unwritable_folder_test.sh PROGRAM               runs a copy in a new folder
#   unwritable_folder_test.sh --installed PROGRAM   runs PROGRAM where it is
#
# Root writes anywhere, so as root the game runs as the user "nobody"; as
# another user the copy's folder is made read-only. Either way the script
# first checks that the player really cannot write there.
set -euo pipefail

if [[ ${1:-} == --inner ]]; then
  # As the player, on a display of its own.
  bin=$2 home=$3
  mkdir -m 700 -p "$XDG_RUNTIME_DIR"
  exec 3< <(exec Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>"$home/xvfb.log")
  xvfb=$!
  read -r display <&3 || { echo "Xvfb did not start:" >&2; cat "$home/xvfb.log" >&2; exit 1; }
  export DISPLAY=:$display
  trap 'kill "$xvfb" 2>/dev/null || true' EXIT
  log=$home/game.log
  # Made here: the game's own redirection may come after tail looks for it.
  : >"$log"
  # Any free port: the test must not need 7772.
  OMBRIX_HOST_PORT=0 QT_LOGGING_RULES='default.info=true;ombrix.table.info=true' "$bin" >"$log" 2>&1 &
  game=$!
  # Seated: the table has read its settings, so a close writes them.
  if ! grep -q -m1 'ombrix.table: seated in slot 1' < <(timeout 120 tail -n +1 --pid="$game" -f "$log"); then
    echo "the game did not host its solo game:" >&2
    cat "$log" >&2
    exit 1
  fi
  ls "$XDG_RUNTIME_DIR" >"$home/runtime.list"
  window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Ombrix$' | head -n1)
  xdotool windowmove --sync "$window" 120 90
  kill -TERM "$game"
  status=0
  wait "$game" || status=$?
  cat "$log" >&2
  echo "exit status $status" >&2
  exit "$status"
fi

installed=0
if [[ ${1:-} == --installed ]]; then
  installed=1
  shift
fi
program=$(readlink -f "${1:?usage: unwritable_folder_test.sh [--installed] PROGRAM}")
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
chmod 755 "$work"
if ((installed)); then
  bin=$program
else
  mkdir "$work/bin"
  ln "$program" "$work/bin/ombrix" 2>/dev/null || cp "$program" "$work/bin/ombrix"
  bin=$work/bin/ombrix
fi
folder=$(dirname "$bin")
home=$work/home
mkdir "$home"
if ((EUID == 0)); then
  player=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  chown nobody:nogroup "$home"
  mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
else
  player=()
  ((installed)) || chmod 555 "$folder"
fi
if "${player[@]}" test -w "$folder"; then
  echo "the player can write $folder: the test would prove nothing" >&2
  exit 1
fi
listing() { find "$folder" -maxdepth 1 -newer "$work" -printf '%f\n' | sort; }
before=$(listing)

# A sanitizer build still reports leaks of ours, not the system libraries'.
lsan="suppressions=$(cd "$(dirname "$0")/../data" && pwd)/lsan_system.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
status=0
"${player[@]}" env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/config" \
  XDG_RUNTIME_DIR="$home/run" ASAN_OPTIONS="${ASAN_OPTIONS:-}" LSAN_OPTIONS="$lsan" QT_QPA_PLATFORM=xcb \
  bash "$0" --inner "$bin" "$home" || status=$?

fail=0
check() {
  if ! eval "$2"; then
    echo "FAILED: $1" >&2
    fail=1
  fi
}
settings=$home/config/ombrix/quarrowlobby.ini
tally=$home/.local/share/ombrix/ombrixtally.tld
check "the game ends cleanly on SIGTERM (status $status)" '((status == 0))'
check "settings in \$XDG_CONFIG_HOME/ombrix" '[[ -f $settings ]]'
check "the moved window's place is saved" 'tr -d "\r" <"$settings" | grep -Eq "^Left *= *120$" &&
  tr -d "\r" <"$settings" | grep -Eq "^Top *= *90$"'
check "the tally in ~/.local/share/ombrix" '[[ $(head -c4 "$tally" 2>/dev/null) == WRZL ]]'
check "the lock in \$XDG_RUNTIME_DIR" 'grep -q "^ombrix-.*\.lock$" "$home/runtime.list"'
check "the local socket in \$XDG_RUNTIME_DIR" 'grep -q "^worrauq11-" "$home/runtime.list"'
check "nothing new beside the program" '[[ $(listing) == "$before" ]]'
if ((fail)); then
  [[ -f $settings ]] && cat "$settings" >&2
  exit 1
fi
echo "ok: settings in $settings, tally in $tally, lock in the runtime folder"
