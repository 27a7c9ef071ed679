#!/usr/bin/env bash
# Installs whatever Debian packages are missing, then the web table's npm
# packages. Quick when all are present: apt is touched only when dpkg lacks
# something, npm only when the lockfile changed.
#   bash scripts/setup.sh              both (the Debian packages need root)
#   bash scripts/setup.sh --packages   the Debian packages only (as root)
#   bash scripts/setup.sh --check      only name the Debian packages missing; exit 1 if any are
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mode=${1:-}
missing=()
while read -r pkg; do
  [[ -z "$pkg" || "$pkg" == \#* ]] && continue
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done < "$here/packages.txt"
if ((${#missing[@]})); then
  if [[ $mode == --check ]]; then
    echo "setup: missing ${missing[*]}" >&2
    exit 1
  fi
  if ((EUID != 0)); then
    echo "setup: missing ${missing[*]}" >&2
    echo "setup: installing them needs root: run 'sudo bash scripts/setup.sh --packages' (or, as root, 'bash scripts/setup.sh')" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
[[ $mode == --check || $mode == --packages ]] && exit 0
# The web table's npm packages, pinned by its lockfile: installed again only
# when the lockfile changed since. They belong to whoever builds, so run as
# that user, never through sudo.
web="$here/../web"
if command -v npm >/dev/null && [[ -f "$web/package-lock.json" ]] &&
  { [[ ! -f "$web/node_modules/.package-lock.json" ]] || [[ "$web/package-lock.json" -nt "$web/node_modules/.package-lock.json" ]]; }; then
  echo "setup: installing the web table's npm packages" >&2
  npm ci --prefix "$web" --no-audit --no-fund --loglevel=error
elif ! command -v npm >/dev/null; then
  echo "setup: npm is missing (node 20 with npm): the web table will not be built" >&2
fi
