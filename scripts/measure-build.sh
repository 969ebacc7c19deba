#!/usr/bin/env bash
# What the README's test command costs a new user, in three parts: installing the
# packages, building a fresh clone, and running the suite. The clone is of this
# checkout's HEAD, in a temporary folder, built as on a fresh machine (ccache off).
#
#   scripts/measure-build.sh [--pch off] [--keep]
#
# Run it on an otherwise idle machine: the figures are wall-clock seconds. The
# package part is only a real measurement where the packages are missing.
set -euo pipefail
# shellcheck source=lib/common.sh
source "$(dirname "$0")/lib/common.sh"
cd "$(dirname "$0")/.."

pch=ON keep=""
while [ $# -gt 0 ]; do
  case $1 in
    --pch) [ "${2:-}" = off ] && pch=OFF; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "usage: $0 [--pch off] [--keep]" >&2; exit 2 ;;
  esac
done

clone=$(mktemp -d /tmp/kr3090-measure.XXXXXX)
[ -n "$keep" ] || trap 'rm -rf "$clone"' EXIT
git clone -q . "$clone/src"
cd "$clone/src"

t0=$(date +%s)
scripts/setup.sh
t1=$(date +%s)
export CCACHE_DISABLE=1
cmake --preset default -DKR3090_PCH="$pch" >/dev/null
cmake --build --preset default >"$clone/build.log" 2>&1 || { tail -n 30 "$clone/build.log"; fail "the build failed"; }
t2=$(date +%s)
(cd build && ctest --timeout 600 -j2 >"$clone/ctest.log" 2>&1) || { tail -n 30 "$clone/ctest.log"; fail "tests failed"; }
t3=$(date +%s)

say "packages $((t1 - t0)) s, build $((t2 - t1)) s (precompiled header $pch), tests $((t3 - t2)) s, in all $((t3 - t0)) s on $(nproc) cores"
grep -E 'tests passed|Total Test time' "$clone/ctest.log"
# The ten slowest tests, for whoever looks for the next minute to save.
grep -E '^ *[0-9]+/[0-9]+ Test +#' "$clone/ctest.log" | sed -E 's/.* Test +#[0-9]+: ([^ ]+) .* ([0-9.]+) sec$/\2 \1/' |
  sort -rn | head -n 10
