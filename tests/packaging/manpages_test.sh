#!/usr/bin/env bash
# The manual pages as a reader meets them: mandoc finds nothing to say of
# any page (style included), and every option a program's --help names is
# on its page, and the other way round, so neither drifts from the other.
#   manpages_test.sh MAN_DIR GAME HOST LZRW1 LOBBY LOBBYD
set -euo pipefail
man=$1
shift
if ! command -v mandoc >/dev/null; then
  echo "mandoc is not installed (scripts/setup.sh installs it): skipped" >&2
  exit 77
fi
fail=0
for page in "$man"/*.[0-9]; do
  out=$(mandoc -Tlint -Wstyle "$page" 2>&1) || true
  if [[ -n $out ]]; then
    printf 'FAILED: mandoc -Tlint %s:\n%s\n' "${page##*/}" "$out" >&2
    fail=1
  fi
done
# The long options a text names, one a line: "--name" from "--name" or "\-\-name".
options() { sed 's/\\-/-/g' | grep -oE -- '--[a-z][a-z-]*[a-z]' | sort -u; }
# The options a page describes: those that head an item (the line after .TP),
# so an option run into the item before it is missed.
items() { awk 'tagged { print; tagged = 0 } /^\.TP/ { tagged = 1 }' "$1" | options; }
nodesk=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
for program in "$@"; do
  name=${program##*/}
  page=$(ls "$man/$name".[0-9])
  # Qt's own options are the toolkit's, listed by every Qt program.
  said=$("${nodesk[@]}" "$program" --help 2>&1 | options | grep -vxE -- '--help-all') || true
  written=$(options <"$page")
  missing=$(comm -23 <(echo "$said") <(echo "$written"))
  # Pages name --lobby-server and --rules where they tell what the lobby passes the game.
  unknown=$(comm -13 <(echo "$said") <(echo "$written") | grep -vxE -- '--lobby-server|--rules') || true
  [[ -z $missing ]] || { printf 'FAILED: %s --help names what its page leaves out: %s\n' "$name" "$(echo $missing)" >&2; fail=1; }
  untagged=$(comm -23 <(echo "$said") <(items "$page"))
  [[ -z $untagged ]] || { printf 'FAILED: %s page has no item for: %s\n' "$name" "$(echo $untagged)" >&2; fail=1; }
  [[ -z $unknown ]] || { printf 'FAILED: %s page names what --help leaves out: %s\n' "$name" "$(echo $unknown)" >&2; fail=1; }
done
exit $fail
