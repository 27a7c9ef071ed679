#!/usr/bin/env bash
# Builds the Debian package the way a Debian packager would (dpkg's build
# flags, stripped programs, dependencies from the programs' libraries), runs
# lintian on it, installs it with apt-get, starts the installed game as a
# player on a virtual display (it must host a solo game and keep its files in
# the player's own folders), checks the service unit, and removes the package.
#
#   bash scripts/package.sh          everything above; the .deb stays in build-package/
#   bash scripts/package.sh --keep   leaves the package installed
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
keep=0
[[ ${1:-} == --keep ]] && keep=1
bash scripts/setup.sh

# What only packaging needs.
tools=(dpkg-dev lintian desktop-file-utils appstream xdotool systemd man-db)
missing=()
for t in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$t" 2>/dev/null | grep -q 'install ok installed' || missing+=("$t")
done
if ((${#missing[@]})); then
  echo "package: installing ${missing[*]}" >&2
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

section() { printf '\n== %s\n' "$*"; }
build=build-package
section "build (dpkg-buildflags, hardening=+all)"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# Given on the command line, not only through the environment: CMake reads
# the environment once, into a new cache, and never reads CPPFLAGS (where
# _FORTIFY_SOURCE is). Game programs go to /usr/games, as Debian keeps them.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DOMBRIX_INSTALL_GAMESDIR=games -DCMAKE_C_FLAGS="$CPPFLAGS $CFLAGS" -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DOMBRIX_TESTS=OFF -DOMBRIX_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build"
rm -f "$build"/ombrix_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/ombrix_*.deb)

section "package $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

section "lintian"
lintian --info --display-info --pedantic --fail-on error "$deb"
echo "lintian: no errors"

section "apt-get install ./$deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y "./$deb"

section "the installed programs"
# Root's PATH has no /usr/games; a player's has.
/usr/games/ombrix --version
/usr/games/ombrix-host --version
/usr/games/ombrix-lobby --version
ombrix-lzrw1 --version
/usr/sbin/ombrix-lobbyd --version
man -w ombrix ombrix-lobby ombrix-host ombrix-lzrw1 ombrix-lobbyd
unit=$(dpkg -L ombrix | grep '/ombrix-host\.service$')
state=$(systemctl is-enabled ombrix-host 2>/dev/null) || true
echo "service: $unit (${state:-not enabled})"
desktop-file-validate /usr/share/applications/com.quarrow.Ombrix.desktop
desktop-file-validate /usr/share/applications/com.quarrow.Ombrix.Lobby.desktop
appstreamcli validate --no-net /usr/share/metainfo/com.quarrow.Ombrix.metainfo.xml

lobbyd_unit=$(dpkg -L ombrix | grep '/ombrix-lobbyd\.service$')
section "systemd-analyze verify $unit $lobbyd_unit"
systemd-analyze verify "$unit" "$lobbyd_unit"
echo "systemd-analyze: accepted"

# No systemd runs here to start the unit; its command line is run the way
# the unit runs it: the environment file's settings (an empty address is one
# empty word), a user without rights, output as the journal would get it.
# Any free port instead of the file's, which may be taken.
section "the service's command line, as the unit runs it"
grep '^ExecStart=' "$unit"
(
  set -a
  . /etc/default/ombrix-host
  set +a
  log=$(mktemp)
  trap 'rm -f "$log"' EXIT
  # shellcheck disable=SC2086  # the options are words, as systemd splits them
  setpriv --reuid=nobody --regid=nogroup --clear-groups \
    /usr/games/ombrix-host --port 0 --bind "$OMBRIX_BIND" $OMBRIX_OPTIONS 2>"$log" &
  pid=$!
  grep -q -m1 'listening on port' < <(timeout 30 tail -n +1 --pid="$pid" -f "$log") || true
  kill -TERM "$pid"
  status=0
  wait "$pid" || status=$?
  cat "$log"
  grep -q 'listening on port' "$log" && ((status == 0)) || { echo "package: the host did not run" >&2; exit 1; }
)
echo "service command line: listened and stopped cleanly on SIGTERM"

section "the installed game, run by a player from /usr/games"
bash tests/app/unwritable_folder_test.sh --installed /usr/games/ombrix

if ((keep)); then
  echo "package: left installed (--keep)"
  exit 0
fi
section "apt-get purge ombrix"
DEBIAN_FRONTEND=noninteractive apt-get purge -y ombrix
for f in /usr/games/ombrix /usr/games/ombrix-host /usr/games/ombrix-lobby /usr/bin/ombrix-lzrw1 "$unit" \
  /usr/share/applications/com.quarrow.Ombrix.desktop /usr/share/applications/com.quarrow.Ombrix.Lobby.desktop \
  /etc/default/ombrix-host /usr/sbin/ombrix-lobbyd "$lobbyd_unit" /etc/default/ombrix-lobbyd; do
  [[ ! -e $f ]] || { echo "package: $f is still there" >&2; exit 1; }
done
echo "package: removed, nothing left behind"
