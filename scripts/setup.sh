#!/usr/bin/env bash
# Installs whatever Debian packages are missing. Quick when all are present:
# apt is touched only when dpkg lacks something.
#   bash scripts/setup.sh           install what is missing (as root)
#   bash scripts/setup.sh --check   only name what is missing; exit 1 if anything is
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
missing=()
while read -r pkg; do
  [[ -z "$pkg" || "$pkg" == \#* ]] && continue
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done < "$here/packages.txt"
((${#missing[@]})) || exit 0
if [[ ${1:-} == --check ]]; then
  echo "setup: missing ${missing[*]}" >&2
  exit 1
fi
if ((EUID != 0)); then
  echo "setup: missing ${missing[*]}" >&2
  echo "setup: installing them needs root: run 'sudo bash scripts/setup.sh' (or, as root, 'bash scripts/setup.sh')" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
