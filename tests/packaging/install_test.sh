#!/usr/bin/env bash
# What `cmake --install` puts where a desktop looks for it, and what the
# desktop's own validators say of the menu entry and the AppStream data.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" >/dev/null
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
prefix=$dest$(cached CMAKE_INSTALL_PREFIX)
games=$(cached OMBRIX_INSTALL_GAMESDIR)
id=com.quarrow.Ombrix
fail=0
need() {
  if [[ ! -s $prefix/$1 ]]; then
    echo "FAILED: missing $1" >&2
    fail=1
  fi
}
for p in "$games/ombrix" "$games/ombrix-host" bin/ombrix-lzrw1; do
  need "$p"
  [[ -x $prefix/$p ]] || { echo "FAILED: $p is not executable" >&2; fail=1; }
done
need share/applications/$id.desktop
need share/metainfo/$id.metainfo.xml
need share/icons/hicolor/scalable/apps/$id.svg
for n in 16 22 24 32 48 64 128 256; do
  png=share/icons/hicolor/${n}x${n}/apps/$id.png
  need "$png"
  # The PNG's own width (bytes 16 to 19 of its header) is its folder's size.
  width=$(od -An -tu1 -j16 -N4 "$prefix/$png" 2>/dev/null | awk '{print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4}')
  [[ $width == "$n" ]] || { echo "FAILED: $png is ${width:-?} wide" >&2; fail=1; }
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$id.svg" || { echo "FAILED: the SVG icon" >&2; fail=1; }
need share/man/man6/ombrix.6.gz
need share/man/man6/ombrix-host.6.gz
need share/man/man1/ombrix-lzrw1.1.gz
need share/man/man8/ombrix-lobbyd.8.gz
need sbin/ombrix-lobbyd
need lib/systemd/system/ombrix-lobbyd.service
need lib/systemd/system/ombrix-host.service
need share/doc/ombrix/copyright
grep -q "^ExecStart=$(cached CMAKE_INSTALL_PREFIX)/$games/ombrix-host " \
  "$prefix/lib/systemd/system/ombrix-host.service" || { echo "FAILED: the unit's ExecStart" >&2; fail=1; }

grep -q "^ExecStart=$(cached CMAKE_INSTALL_PREFIX)/sbin/ombrix-lobbyd " \
  "$prefix/lib/systemd/system/ombrix-lobbyd.service" || { echo "FAILED: the lobby server unit's ExecStart" >&2; fail=1; }

desktop-file-validate "$prefix/share/applications/$id.desktop" || { echo "FAILED: desktop-file-validate" >&2; fail=1; }
appstreamcli validate --no-net --explain "$prefix/share/metainfo/$id.metainfo.xml" ||
  { echo "FAILED: appstreamcli validate" >&2; fail=1; }
exit "$fail"
