#!/usr/bin/env bash
# What `cmake --install` puts where a desktop looks for it, and what the
# desktop's own validators say of the menu entries and the AppStream data;
# and that a Debian package made from the same build puts the service's
# program and environment file where its unit looks for them.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
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
for p in "$games/ombrix" "$games/ombrix-host" "$games/ombrix-lobby" bin/ombrix-lzrw1; do
  need "$p"
  [[ -x $prefix/$p ]] || { echo "FAILED: $p is not executable" >&2; fail=1; }
done
need share/applications/$id.desktop
need share/applications/$id.Lobby.desktop
grep -q '^Name=Ombrix Lobby$' "$prefix/share/applications/$id.Lobby.desktop" || { echo "FAILED: the lobby's menu entry" >&2; fail=1; }
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
need share/man/man6/ombrix-lobby.6.gz
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

for entry in "$id" "$id.Lobby"; do
  desktop-file-validate "$prefix/share/applications/$entry.desktop" || { echo "FAILED: desktop-file-validate $entry" >&2; fail=1; }
done
appstreamcli validate --no-net --explain "$prefix/share/metainfo/$id.metainfo.xml" ||
  { echo "FAILED: appstreamcli validate" >&2; fail=1; }

# The package: every absolute path its units name is a file it installs.
# (Unstripped and uncompressed: only the paths are looked at.)
pkg=$(mktemp -d)
trap 'rm -rf "$dest" "$pkg"' EXIT
if (cd "$pkg" && cpack --config "$build/CPackConfig.cmake" -G DEB -D CPACK_STRIP_FILES=OFF \
    -D CPACK_DEBIAN_PACKAGE_SHLIBDEPS=OFF -D CPACK_DEBIAN_COMPRESSION_TYPE=none >/dev/null); then
  deb=$(ls "$pkg"/*.deb)
  mkdir "$pkg/root"
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$pkg/root"
  units=$(find "$pkg/root" -name 'ombrix-*.service')
  [[ -n $units ]] || { echo "FAILED: the package has no unit" >&2; fail=1; }
  for unit in $units; do
    for path in $(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p; s/^EnvironmentFile=-\?//p' "$unit"); do
      [[ -e $pkg/root$path ]] || { echo "FAILED: ${unit##*/} names $path, which the package does not install" >&2; fail=1; }
    done
  done
else
  echo "FAILED: cpack -G DEB" >&2
  fail=1
fi
exit "$fail"
