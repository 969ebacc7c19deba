#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh          the normal build (preset "default")
#   scripts/test.sh asan     the whole suite under AddressSanitizer + UBSan
#   scripts/test.sh tsan     the whole suite under ThreadSanitizer
#   scripts/test.sh all      all three, one after the other
#   scripts/test.sh ci       all three, the archive on a PostgreSQL server (also a
#                            team's, over verified TLS), a short
#                            fuzzing run, the serial link on a
#                            16550 and an FTDI adapter in a QEMU guest, the Debian
#                            package tried in a clean Debian 12 root, the Windows
#                            build and its tests and end-to-end run under wine
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-default}
# The normal modes install what the build and the suite use; ci adds what its
# other stages use (scripts/packages-ci.txt).
if [ "$mode" = ci ]; then scripts/setup.sh ci; else scripts/setup.sh; fi

# ccache finds the objects of a build in another folder (a fresh clone, a worktree):
# paths below the source folder count relative, the build folder's name not at all.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="suppressions=$PWD/tests/app/tsan.supp:second_deadlock_stack=1:ignore_noninstrumented_modules=1"

run_preset() {
  local preset=$1
  echo "=== build and test: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" 2>&1 | tail -n 3 || { cmake --build --preset "$preset"; exit 1; }
  local dir=build
  [ "$preset" = default ] || dir=build-$preset
  local skip=()
  # Screenshots run the real X libraries, whose own locking TSan misreads; the
  # window itself runs under TSan offscreen in every other window test.
  [ "$preset" = tsan ] && skip=(-E Screenshot)
  (cd "$dir" && ctest --output-on-failure --timeout 600 -j2 "${skip[@]}") | tee "$dir/ctest-summary.log"
}

case "$mode" in
  default|asan|tsan) run_preset "$mode" ;;
  all) run_preset default; run_preset asan; run_preset tsan ;;
  ci)
    # Qt for Windows takes long the first time; it builds at the lowest priority
    # beside the Linux runs, which leave much of the machine idle while their
    # tests wait on timers and serial lines.
    qt_pid=""
    if ! scripts/windows-qt.sh --cached >/dev/null; then
      echo "=== Qt for Windows: building in the background (log: build-windows/qt-build.log)"
      mkdir -p build-windows
      nice -n 19 scripts/windows-qt.sh >build-windows/qt-build.log 2>&1 &
      qt_pid=$!
    fi
    # So do libpq and OpenSSL for a team's server from Windows (about 45
    # minutes the first time beside the rest); Qt's driver follows Qt.
    pq_pid=""
    if ! scripts/windows-libpq.sh --cached >/dev/null; then
      echo "=== libpq and OpenSSL for Windows: building in the background (log: build-windows/libpq-build.log)"
      mkdir -p build-windows
      nice -n 19 scripts/windows-libpq.sh libs >build-windows/libpq-build.log 2>&1 &
      pq_pid=$!
    fi
    run_preset default
    run_preset asan
    run_preset tsan
    # About 20 s: the archive's tests on a PostgreSQL server started for them.
    echo "=== the archive against a PostgreSQL server"
    scripts/archive-server-test.sh 2>&1 | tee build/archive-server.log
    # About a minute: the same over TCP and verified TLS, a server answering in
    # Chinese, then that server without TLS.
    echo "=== the archive on a team's server over verified TLS"
    scripts/team-server-test.sh 2>&1 | tee build/team-server.log
    echo "=== fuzz the receive path and the result-file reader"
    scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
    echo "=== the serial link on real serial drivers in a QEMU guest"
    scripts/serial-vm.sh 2>&1 | tee build/serial-vm.log
    # About a minute with the caches warm; about 4 on a fresh machine, which
    # compiles the package afresh and downloads some 140 MB for the Debian 12
    # root and the package's dependencies.
    echo "=== the Debian package, and the package in a clean Debian 12 root"
    scripts/package-deb.sh
    scripts/package-test.sh
    if [ -n "$qt_pid" ]; then
      echo "=== waiting for Qt for Windows"
      wait "$qt_pid" || { tail -n 40 build-windows/qt-build.log; exit 1; }
      tail -n 1 build-windows/qt-build.log
    fi
    if [ -n "$pq_pid" ]; then
      echo "=== waiting for libpq and OpenSSL for Windows"
      wait "$pq_pid" || { tail -n 40 build-windows/libpq-build.log; exit 1; }
      scripts/windows-libpq.sh >>build-windows/libpq-build.log 2>&1 || { tail -n 40 build-windows/libpq-build.log; exit 1; }
      tail -n 1 build-windows/libpq-build.log
    fi
    echo "=== Windows build"
    scripts/windows-build.sh
    echo "=== Windows tests under wine"
    scripts/windows-test.sh
    echo "=== the Windows program end to end under wine"
    scripts/windows-e2e.sh
    # The normal suite's summary last, for whoever reads only the end.
    echo "=== summary of the normal build"
    grep -E 'tests passed|tests failed|Total Test time' build/ctest-summary.log
    grep -E '^(ttyS1|ttyUSB0|pty) .*passed' build/serial-vm.log
    grep -E '^postgresql: ' build/archive-server.log
    grep -E '^team server: [0-9]' build/team-server.log
    ;;
  *) echo "usage: $0 [default|asan|tsan|all|ci]" >&2; exit 2 ;;
esac
