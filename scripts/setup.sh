#!/usr/bin/env bash
# Installs whatever Debian packages are missing. Quick when all are present:
# apt is touched only when dpkg lacks something.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
missing=()
while read -r pkg; do
  [[ -z "$pkg" || "$pkg" == \#* ]] && continue
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done < "$here/packages.txt"
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
# The web table's npm packages, pinned by its lockfile: installed again only
# when the lockfile changed since.
web="$here/../web"
if command -v npm >/dev/null && [[ -f "$web/package-lock.json" ]] &&
  { [[ ! -f "$web/node_modules/.package-lock.json" ]] || [[ "$web/package-lock.json" -nt "$web/node_modules/.package-lock.json" ]]; }; then
  echo "setup: installing the web table's npm packages" >&2
  npm ci --prefix "$web" --no-audit --no-fund --loglevel=error
elif ! command -v npm >/dev/null; then
  echo "setup: npm is missing (node 20 with npm): the web table will not be built" >&2
fi
