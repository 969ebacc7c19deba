#!/usr/bin/env bash
# Builds what kr3090.exe needs to reach a team's PostgreSQL server over TLS:
# OpenSSL's and libpq's DLLs for 64-bit Windows from Debian's own openssl and
# postgresql-15 sources, and Qt's PostgreSQL driver (qsqlpsql.dll) from
# Debian's qt6-base source, built on its own against the project's Qt for
# Windows. Once, into a cache folder outside the source tree, like Qt for
# Windows; later runs find it and do nothing.
#
#   scripts/windows-libpq.sh            build what is missing (the driver needs
#                                       Qt for Windows built), print the folder
#   scripts/windows-libpq.sh libs       only OpenSSL and libpq (no Qt needed)
#   scripts/windows-libpq.sh --cached   print the folder if all is built; else exit 1
#   KR3090_LIBPQ_WINDOWS=DIR            use/build in DIR instead of the default
#
# The folder: bin/ (libssl-3-x64.dll, libcrypto-3-x64.dll, libpq.dll),
# include/, lib/, sqldrivers/qsqlpsql.dll, versions.txt (the Debian source
# versions taken), sqldrivers-src/ (the driver's sources, with the
# .cmake.conf that lets the folder build on its own). Shared DLLs throughout:
# a static libpq under MinGW leaves symbols unresolved. The first build takes
# long: OpenSSL's compile alone ran about an hour here beside a Qt for Windows
# build on two cores, then PostgreSQL's cross configure some 12 minutes.
set -euo pipefail
shopt -s inherit_errexit
here=$(cd "$(dirname "$0")" && pwd)

cache_root=${XDG_CACHE_HOME:-$HOME/.cache}/kr3090
out=${KR3090_LIBPQ_WINDOWS:-$cache_root/libpq-windows-mingw64}
# A change to how any part is built changes its stamp, so a stale cache is rebuilt.
recipe_version=1
libs_stamp="$out/.kr3090-libs-built-$recipe_version"
driver_stamp="$out/.kr3090-driver-built-$recipe_version"

mode=${1:-all}
case "$mode" in
  --cached)
    [ -f "$libs_stamp" ] && [ -f "$driver_stamp" ] || exit 1
    echo "$out"
    exit 0
    ;;
  all | libs) ;;
  *) echo "usage: $0 [libs | --cached]" >&2; exit 2 ;;
esac

host=x86_64-w64-mingw32
work=$cache_root/libpq-windows-work
jobs=$(nproc)

# A private sources list with the system's own archive and suites (the
# security suite too), as deb-src: nothing on the system changes.
private_sources() {
  mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
  local sources=$work/debian-src.sources
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$sources"
  else
    cat >"$sources" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  fi
  apt_private=(-o "Dir::Etc::SourceList=$sources" -o Dir::Etc::SourceParts=/dev/null
    -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache" -o Debug::NoLocking=1)
  [ -n "$(ls "$work/lists" 2>/dev/null | grep -v partial)" ] ||
    apt-get "${apt_private[@]}" update -q >&2
}

# fetch PACKAGE[=VERSION] FOLDER: the source unpacked into FOLDER; prints its
# version. Without a version, the newest the archive lists and also serves:
# the index may name a point release whose files are gone.
fetch() {
  local package=$1 folder=$2 dsc version
  rm -rf "$work/dl-$folder" "$work/$folder"
  mkdir -p "$work/dl-$folder"
  if [[ $package == *=* ]]; then
    (cd "$work/dl-$folder" && apt-get "${apt_private[@]}" source --download-only "$package" >&2)
  else
    for version in $(apt-cache "${apt_private[@]}" showsrc "$package" |
      sed -n 's/^Version: //p' | sort -u -r -V); do
      rm -f "$work/dl-$folder"/*
      if (cd "$work/dl-$folder" &&
        apt-get "${apt_private[@]}" source --download-only "$package=$version" >&2); then
        break
      fi
      echo "=== $package $version is listed but not served; trying the one before" >&2
    done
  fi
  # shellcheck disable=SC2012 # Debian's file names
  dsc=$(ls "$work/dl-$folder"/*.dsc | head -n 1)
  dpkg-source --no-check -x "$dsc" "$work/$folder" >&2
  sed -n 's/^Version: //p' "$dsc"
}

build_libs() {
  rm -rf "$work" "$out"
  mkdir -p "$work" "$out/bin" "$out/include" "$out/lib"
  local started
  started=$(date +%s)
  private_sources

  # OpenSSL: the archive's newest 3.0 (the security suite's when it serves one).
  echo "=== libpq for Windows: OpenSSL from Debian's openssl source" >&2
  local ssl_version pg_version
  ssl_version=$(fetch openssl openssl)
  (cd "$work/openssl" &&
    ./Configure mingw64 --cross-compile-prefix="$host-" CC=gcc-posix shared no-tests \
      --prefix="$out" --libdir=lib >&2 &&
    make -j"$jobs" build_libs >&2 &&
    make install_dev >&2)

  # libpq with TLS through that OpenSSL; only the client library is built.
  echo "=== libpq for Windows: libpq from Debian's postgresql-15 source" >&2
  pg_version=$(fetch postgresql-15 postgresql)
  (cd "$work/postgresql" &&
    ./configure --host="$host" --without-readline --without-icu --without-zlib \
      --with-ssl=openssl --with-includes="$out/include" --with-libraries="$out/lib" \
      CC="$host-gcc-posix" >"$work/configure.log" 2>&1 ||
    { tail -n 40 "$work/configure.log" >&2; exit 1; }
    make -C src/interfaces/libpq -j"$jobs" >&2)
  local pq=$work/postgresql/src/interfaces/libpq
  cp "$pq/libpq.dll" "$out/bin/"
  # The import library, under the name CMake's FindPostgreSQL looks for.
  cp "$pq/libpqdll.a" "$out/lib/libpq.dll.a" 2>/dev/null || cp "$pq/libpq.a" "$out/lib/libpq.dll.a"
  cp "$pq/libpq-fe.h" "$pq/libpq-events.h" "$work/postgresql/src/include/postgres_ext.h" \
    "$work/postgresql/src/include/pg_config_ext.h" "$out/include/"
  # CMake's FindPostgreSQL reads the version from pg_config.h.
  cp "$work/postgresql/src/include/pg_config.h" "$out/include/"

  # The qt6-base source's driver folder, kept for the driver's own build
  # (Qt for Windows may still be building).
  echo "=== libpq for Windows: Qt's SQL driver sources from Debian's qt6-base source" >&2
  local qt_version
  qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
  fetch "qt6-base=$qt_version" qtbase >/dev/null
  cp -r "$work/qtbase/src/plugins/sqldrivers" "$out/sqldrivers-src"
  rm -rf "$work/qtbase" "$work/dl-qtbase"

  printf 'openssl %s\npostgresql-15 %s\nqt6-base %s\n' "$ssl_version" "$pg_version" \
    "$qt_version" >"$out/versions.txt"
  rm -rf "$work"
  echo "OpenSSL $ssl_version and libpq $pg_version for Windows built in" \
    "$(($(date +%s) - started)) s" >&2
  touch "$libs_stamp"
}

# Qt's PostgreSQL driver, its folder built on its own against the installed
# Qt for Windows (Qt 6 supports that), with only PostgreSQL found.
build_driver() {
  local qt started
  qt=$("$here/windows-qt.sh" --cached) ||
    { echo "windows-libpq.sh: Qt for Windows is not built yet (scripts/windows-qt.sh)" >&2; exit 1; }
  started=$(date +%s)
  echo "=== libpq for Windows: Qt's PostgreSQL driver" >&2
  local build=$cache_root/libpq-windows-driver-build
  rm -rf "$build" "$out/sqldrivers"
  cmake -S "$out/sqldrivers-src" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$out/driver-install" \
    -DPostgreSQL_INCLUDE_DIR="$out/include" \
    -DPostgreSQL_LIBRARY="$out/lib/libpq.dll.a" \
    -DFEATURE_sql_psql=ON -DFEATURE_sql_sqlite=OFF -DFEATURE_sql_odbc=OFF \
    -DFEATURE_sql_mysql=OFF -DFEATURE_sql_ibase=OFF -DFEATURE_sql_oci=OFF \
    -DFEATURE_sql_db2=OFF >"$build.log" 2>&1 ||
    { tail -n 40 "$build.log" >&2; exit 1; }
  cmake --build "$build" >>"$build.log" 2>&1 || { tail -n 40 "$build.log" >&2; exit 1; }
  mkdir -p "$out/sqldrivers"
  find "$build" -name qsqlpsql.dll -exec cp {} "$out/sqldrivers/" \;
  [ -f "$out/sqldrivers/qsqlpsql.dll" ] || { echo "windows-libpq.sh: no qsqlpsql.dll built" >&2; exit 1; }
  "$host-strip" --strip-unneeded "$out/sqldrivers/qsqlpsql.dll"
  rm -rf "$build"
  echo "Qt's PostgreSQL driver for Windows built in $(($(date +%s) - started)) s" >&2
  touch "$driver_stamp"
}

[ -f "$libs_stamp" ] || build_libs
[ "$mode" = libs ] && { echo "$out"; exit 0; }
[ -f "$driver_stamp" ] || build_driver
echo "$out"
