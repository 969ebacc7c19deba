#!/usr/bin/env bash
# Cross-compiles the serial link, the frame codec and their tests for Windows
# with MinGW-w64, and runs the tests that need no serial device under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-windows
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" --target protocol_tests commport_win_tests
export WINEDEBUG=-all WINEPREFIX=${WINEPREFIX:-$PWD/$dir/wineprefix}
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
status=0
for t in protocol_tests commport_win_tests; do
  echo "=== $t.exe under wine"
  "$wine" "$dir/tests/windows/$t.exe" || status=1
done
exit $status
