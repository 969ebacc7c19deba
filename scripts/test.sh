#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh          the normal build (preset "default")
#   scripts/test.sh asan     the whole suite under AddressSanitizer + UBSan
#   scripts/test.sh tsan     the whole suite under ThreadSanitizer
#   scripts/test.sh all      all three, one after the other
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

run_preset() {
  local preset=$1
  echo "=== build and test: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" 2>&1 | tail -n 3 || { cmake --build --preset "$preset"; exit 1; }
  local dir=build
  [ "$preset" = default ] || dir=build-$preset
  (cd "$dir" && ctest --output-on-failure --timeout 600 -j2)
}

mode=${1:-default}
case "$mode" in
  default|asan|tsan) run_preset "$mode" ;;
  all) run_preset default; run_preset asan; run_preset tsan ;;
  *) echo "usage: $0 [default|asan|tsan|all]" >&2; exit 2 ;;
esac
