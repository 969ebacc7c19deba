#!/usr/bin/env bash
# Builds the program for 64-bit Windows: kr3090.exe and the Windows tests,
# cross-compiled with MinGW-w64 against the project's own Qt for Windows, and
# packs build-windows/kr3090-win64.zip, one folder kr3090/ that an operator
# unzips and runs (kr3090.exe, the Qt DLLs and plugins it loads, the MinGW
# runtime DLLs, libpq and OpenSSL for a team's server when they are built).
# The Qt is built once by scripts/windows-qt.sh into a cache outside the tree
# (about 40 minutes the first time); later runs reuse it.
# Running the Windows tests under wine is scripts/windows-test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-windows

# Prints the Qt folder; builds it first when the cache is missing.
qt=$(scripts/windows-qt.sh)
toolchain=$qt/lib/cmake/Qt6/qt.toolchain.cmake
# A team server's client, when scripts/windows-libpq.sh has built it (cached
# like Qt; about 25 minutes the first time): libpq, OpenSSL and Qt's
# PostgreSQL driver. Without it the zip reaches SQLite files alone.
pq=$(scripts/windows-libpq.sh --cached || true)
libpq_args=()
[ -z "$pq" ] || libpq_args=(-DPostgreSQL_INCLUDE_DIR="$pq/include" -DPostgreSQL_LIBRARY="$pq/lib/libpq.dll.a")

# A folder configured with another toolchain (the plain MinGW one of earlier
# builds) cannot switch: start its CMake state afresh, keep the wine prefix.
if [ -f "$dir/CMakeCache.txt" ] &&
  ! grep -qxF "CMAKE_TOOLCHAIN_FILE:FILEPATH=$toolchain" "$dir/CMakeCache.txt"; then
  rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release "${libpq_args[@]}" >/dev/null
cmake --build "$dir"
if [ -n "$pq" ]; then
  # The Windows tests load Qt's drivers from their own folder too.
  mkdir -p "$dir/tests/windows/sqldrivers"
  cp "$pq/sqldrivers/qsqlpsql.dll" "$dir/tests/windows/sqldrivers/"
fi

# The package: the program, the plugins Qt loads for a window on Windows (the
# platform and the themed style; printing is built into Qt6PrintSupport.dll)
# and for the archive (the SQLite driver, with SQLite built into it), every DLL
# of the Qt folder that these import, directly or not, and Qt's own texts in
# Chinese. The .qm file is the same on every platform: Debian's
# qt6-translations-l10n of the same Qt version has it.
package=$dir/package/kr3090
rm -rf "$dir/package"
mkdir -p "$package/platforms" "$package/styles" "$package/sqldrivers" "$package/translations"
cp "$dir/app/kr3090.exe" "$package/"
cp "$qt/plugins/platforms/qwindows.dll" "$package/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$package/styles/"
cp "$qt/plugins/sqldrivers/qsqlite.dll" "$package/sqldrivers/"
[ -z "$pq" ] || cp "$pq/sqldrivers/qsqlpsql.dll" "$package/sqldrivers/"
qm=/usr/share/qt6/translations/qtbase_zh_CN.qm
[ -f "$qm" ] || { echo "windows-build.sh: no $qm (qt6-translations-l10n, scripts/setup.sh ci)" >&2; exit 1; }
cp "$qm" "$package/translations/"
# The manual that "帮助" opens, beside kr3090.exe (the build copies it there).
cp "$dir/app/kr3090-manual.html" "$package/"

imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
pending=("$package/kr3090.exe" "$package/platforms/qwindows.dll"
  "$package/styles/qwindowsvistastyle.dll" "$package"/sqldrivers/*.dll)
while [ ${#pending[@]} -gt 0 ]; do
  module=${pending[0]}
  pending=("${pending[@]:1}")
  for dll in $(imports "$module"); do
    # System DLLs (KERNEL32, USER32, ...) are in neither folder; libpq.dll and
    # OpenSSL's are in the libpq one. Windows finds a DLL whatever the case of
    # its name (Qt's driver imports LIBPQ.dll), so the search does too.
    [ -z "$(find "$package" -maxdepth 1 -iname "$dll")" ] || continue
    for from in "$qt/bin" ${pq:+"$pq/bin"}; do
      found=$(find "$from" -maxdepth 1 -iname "$dll" | head -n 1)
      [ -n "$found" ] || continue
      cp "$found" "$package/"
      pending+=("$package/$(basename "$found")")
      break
    done
  done
done

# Qt's DLLs come stripped; the program and the MinGW runtime lose their
# symbol tables here (libstdc++-6.dll shrinks from 23 MB to about 2 MB).
for f in "$package"/*.exe "$package"/lib*.dll; do
  x86_64-w64-mingw32-strip --strip-unneeded "$f"
done

zip=$dir/kr3090-win64.zip
rm -f "$zip"
(cd "$dir/package" && cmake -E tar cf ../kr3090-win64.zip --format=zip kr3090)
echo "=== $zip: $(du -k "$zip" | cut -f1) KiB"
(cd "$dir/package" && find kr3090 -type f | sort | while read -r f; do
  printf '  %8d  %s\n' "$(stat -c %s "$f")" "$f"
done)
