#!/usr/bin/env bash
# Installs the Debian packages that are missing (root or sudo needed only then).
#   scripts/setup.sh        what the build, the normal test suite and the demo use
#                           (scripts/packages.txt)
#   scripts/setup.sh ci     that, and what only the ci mode's stages use: the fuzzers,
#                           the Windows build and wine, the QEMU guest, the Debian
#                           package and its clean root (scripts/packages-ci.txt)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lists=("$here/packages.txt")
case "${1:-}" in
  "") ;;
  ci) lists+=("$here/packages-ci.txt") ;;
  *) echo "usage: $0 [ci]" >&2; exit 2 ;;
esac
mapfile -t wanted < <(cat "${lists[@]}" | grep -v -E '^\s*(#|$)')
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
