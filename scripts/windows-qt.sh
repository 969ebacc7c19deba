#!/usr/bin/env bash
# Builds Qt for 64-bit Windows from Debian's own qt6-base source, once, into a
# cache folder outside the source tree; later runs find it and do nothing.
#
#   scripts/windows-qt.sh            build when missing, print the Qt folder
#   scripts/windows-qt.sh --cached   print the Qt folder if it is built; else exit 1
#   KR3090_QT_WINDOWS=DIR            use/build the Qt in DIR instead of the default
#
# Only what the program loads is built: Core, Gui, Widgets, PrintSupport, Sql
# with its SQLite driver (and Test), the windows platform plugin, the
# windowsvista style and the Windows print support. The host tools (moc, rcc, uic) are Debian's, the same version.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

cache_root=${XDG_CACHE_HOME:-$HOME/.cache}/kr3090
qt=${KR3090_QT_WINDOWS:-$cache_root/qt6-windows-mingw64}
# A change to how Qt is configured changes the stamp, so a stale cache is rebuilt.
recipe_version=2
stamp="$qt/.kr3090-qt-built-$recipe_version"

if [ -f "$stamp" ]; then
  echo "$qt"
  exit 0
fi
[ "${1:-}" = --cached ] && exit 1

"$here/setup.sh" ci >&2
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
work=$cache_root/qt6-windows-work
started=$(date +%s)
# A build that stopped half way (the machine's session ended, a run was
# interrupted) goes on where it stopped: the fetch and the configure step are
# not done again, and ninja builds only what is missing.
configured=$work/.kr3090-configured-$recipe_version-$host_version
if [ -f "$configured" ] && [ -f "$work/build/build.ninja" ]; then
  echo "=== Qt for Windows: resuming the build in $work" >&2
else
rm -rf "$work" "$qt"
mkdir -p "$work/lists/partial" "$work/src"

# A private sources list with the system's own archive and suites, as deb-src:
# nothing on the system changes.
sources=$work/debian-src.sources
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
  sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$sources"
else
  cat >"$sources" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
fi
apt_private=(-o "Dir::Etc::SourceList=$sources" -o Dir::Etc::SourceParts=/dev/null
  -o "Dir::State::Lists=$work/lists" -o Debug::NoLocking=1)
echo "=== Qt for Windows: fetching Debian's qt6-base $host_version source" >&2
apt-get "${apt_private[@]}" update -q >&2
(cd "$work/src" && {
  apt-get "${apt_private[@]}" source --download-only "qt6-base=$host_version" >&2 ||
    apt-get "${apt_private[@]}" source --download-only qt6-base >&2
})
# shellcheck disable=SC2012 # Debian's file names
dsc=$(ls "$work"/src/qt6-base_*.dsc | head -n 1)
dpkg-source --no-check -x "$dsc" "$work/src/qtbase" >&2

# Debian's qtbase comes without its bundled SQLite; the archive's driver needs
# one. SQLite's one-file form is made from Debian's own sqlite3 source (its
# generator is a Tcl script) and put where qtbase looks for it.
echo "=== Qt for Windows: SQLite from Debian's sqlite3 source" >&2
mkdir -p "$work/sqlite/build"
(cd "$work/sqlite" && apt-get "${apt_private[@]}" source --download-only sqlite3 >&2)
# shellcheck disable=SC2012 # Debian's file names
dpkg-source --no-check -x "$(ls "$work"/sqlite/sqlite3_*.dsc | head -n 1)" "$work/sqlite/src" >&2
(cd "$work/sqlite/build" && ../src/configure --disable-tcl >/dev/null && make sqlite3.c >/dev/null)
mkdir -p "$work/src/qtbase/src/3rdparty/sqlite"
cp "$work/sqlite/build/sqlite3.c" "$work/sqlite/build/sqlite3.h" "$work/src/qtbase/src/3rdparty/sqlite/"

# The MinGW toolchain with the shared runtime: Qt's DLLs share libstdc++-6.dll
# with the program. Qt's installed qt.toolchain.cmake loads this file, so a
# copy lives beside the installed Qt.
mkdir -p "$qt"
cp "$here/../cmake/mingw-w64-posix.cmake" "$qt/mingw-w64-posix.cmake"

echo "=== Qt for Windows: configuring" >&2
launcher=()
command -v ccache >/dev/null && launcher=(-DQT_USE_CCACHE=ON)
# Debian's source has no src/3rdparty/wintab (tablet events off); with OpenGL
# off, dynamic GL must go too or qwindowswindow.cpp does not compile. Direct2D
# stays on although the program does not use its plugin: without it Gui leaves
# out the DirectWrite font engine that the Windows print engine links against.
cmake -S "$work/src/qtbase" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$qt/mingw-w64-posix.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$qt" \
  -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DBUILD_WITH_PCH=ON "${launcher[@]}" \
  -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_xml=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF \
  -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
  -DFEATURE_sql=ON -DFEATURE_sql_sqlite=ON -DFEATURE_system_sqlite=OFF \
  -DFEATURE_sql_odbc=OFF -DFEATURE_sql_psql=OFF -DFEATURE_sql_mysql=OFF \
  -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF \
  -DFEATURE_printsupport=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON >&2
touch "$configured"
fi  # fetched and configured

echo "=== Qt for Windows: building (about 40 minutes on two cores the first time)" >&2
cmake --build "$work/build" >&2
cmake --install "$work/build" --strip >&2

# The posix MinGW runtime that Qt's DLLs load, beside them.
for dll in libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll; do
  found=$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")
  [ -f "$found" ] || found=$(find /usr/lib/gcc/x86_64-w64-mingw32 /usr/x86_64-w64-mingw32 \
    -name "$dll" -path '*posix*' 2>/dev/null | head -n 1)
  [ -f "$found" ] || found=$(find /usr/lib/gcc/x86_64-w64-mingw32 /usr/x86_64-w64-mingw32 \
    -name "$dll" 2>/dev/null | head -n 1)
  cp "$found" "$qt/bin/"
done

rm -rf "$work"
echo "Qt for Windows built in $(($(date +%s) - started)) s, $(du -sh "$qt" | cut -f1) installed" >&2
touch "$stamp"
echo "$qt"
