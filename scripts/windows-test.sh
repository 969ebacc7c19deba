#!/usr/bin/env bash
# Runs the Windows test programs of build-windows/ under wine, and the Linux
# driver that plays the instrument on a pseudo-terminal behind a COM port of
# the prefix (tests/wine). Prints the counts; exits non-zero on any failure.
# Expects scripts/windows-build.sh to have built build-windows/.
#
#   scripts/windows-test.sh            everything
#   KR3090_WINDOWS_BUILD=DIR           another Windows build folder
set -euo pipefail
cd "$(dirname "$0")/.."
win=${KR3090_WINDOWS_BUILD:-build-windows}
win=$(cd "$win" && pwd)
tests="$win/tests/windows"
for exe in protocol_tests platform_tests comprobe; do
  [ -f "$tests/$exe.exe" ] || { echo "missing $tests/$exe.exe: run scripts/windows-build.sh" >&2; exit 2; }
done
started=$(date +%s%N)

# The driver is a Linux program of the normal build.
if [ ! -f build/CMakeCache.txt ]; then cmake --preset default >/dev/null; fi
cmake --build build --target wine_comport_tests >/dev/null

source scripts/lib/wine-env.sh
wine_prefix_up
# The Qt and MinGW runtime DLLs the test programs load.
qt=${KR3090_QT_WINDOWS:-${XDG_CACHE_HOME:-$HOME/.cache}/kr3090/qt6-windows-mingw64}
export WINEPATH="$qt/bin"
# libpq.dll and OpenSSL's, for the PostgreSQL driver beside the tests.
pq=$(scripts/windows-libpq.sh --cached || true)
[ -z "$pq" ] || WINEPATH="$WINEPATH;$pq/bin"

# The COM ports the tests use, registered the way wine keeps its own, so that
# the port list (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM) shows them. Wine fills that
# key when its session starts, from HKLM\Software\Wine\Ports and the serial
# devices it finds: a port registered later needs a new session. The driver
# points each port at its pseudo-terminal; until then it opens nothing.
ports="COM5 COM6"
listed=$("$WINE" reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>/dev/null | tr -d '\r' || true)
missing=0
for p in $ports; do
  grep -qw "$p" <<<"$listed" || missing=1
done
if [ $missing = 1 ]; then
  for p in $ports; do
    "$WINE" reg add 'HKLM\Software\Wine\Ports' /v "$p" /d "/dev/kr3090-unmapped-$p" /f >/dev/null 2>&1
  done
  wine_prefix_down
  "$WINESERVER" -w
  wine_prefix_up
  # The first program of the new session starts the port set-up, which also
  # rewrites each port's link in dosdevices: let it finish before the driver
  # maps its ports.
  listed=$("$WINE" reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>/dev/null | tr -d '\r' || true)
  for p in $ports; do
    grep -qw "$p" <<<"$listed" || { echo "wine lists no $p after registering it" >&2; exit 1; }
  done
fi
export KR3090_WINE_PORTS=$ports

logs="$win/test-logs"
mkdir -p "$logs"
rm -f "$logs/skipped"

# A full disk for the result-file test, which a Windows program cannot mount.
small="$logs/small-disk"
mkdir -p "$small"
mountpoint -q "$small" && umount "$small"
if mount -t tmpfs -o size=16k none "$small" 2>/dev/null; then
  trap 'umount "$small"' EXIT
  export KR3090_SMALL_DISK="Z:${small//\//\\}"
fi
# A program folder no user may write, as under Program Files, with the
# Config.ini an administrator left in it: read-only even for root, who runs
# wine here.
locked="$logs/read-only"
mkdir -p "$locked"
mountpoint -q "$locked" && umount "$locked"
if mount -t tmpfs -o size=16k none "$locked" 2>/dev/null; then
  printf '[Config]\r\nComName=COM7\r\n' >"$locked/Config.ini"
  mount -o remount,ro "$locked"
  trap 'umount "$small" 2>/dev/null; umount "$locked"' EXIT
  export KR3090_READ_ONLY_DIR="Z:${locked//\//\\}"
fi
status=0
total_passed=0
total_failed=0
total_skipped=0
summary=()

# Counts from a GoogleTest log: "passed failed skipped".
counts() {
  local passed failed skipped
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$1" | tail -n 1)
  failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$1" | tail -n 1)
  skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$1" | tail -n 1)
  echo "${passed:-0} ${failed:-0} ${skipped:-0}"
}

record() {
  local name=$1 log=$2 rc=$3 passed failed skipped
  read -r passed failed skipped < <(counts "$log")
  if [ "$rc" != 0 ] && [ "$failed" = 0 ]; then failed=1; fi  # crashed or hung
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  total_skipped=$((total_skipped + skipped))
  summary+=("$(printf '%-22s %4d passed %4d failed %4d skipped' "$name" "$passed" "$failed" "$skipped")")
  [ "$skipped" = 0 ] || tr -d '\r' <"$log" | sed -n 's/^\[  SKIPPED \] \([^ ]*\) ([0-9]* ms)$/  skipped: \1/p' >>"$logs/skipped"
  if [ "$rc" != 0 ]; then
    status=1
    echo "=== $name failed (exit $rc); its log, $log:"
    grep -E '^\[  FAILED  \]|Failure|Expected|Which is|Value of|Actual' "$log" | head -n 60 || tail -n 40 "$log"
  fi
}

# The driver runs while the Windows test programs run: it mostly waits on its
# pseudo-terminals, they mostly compute.
(
  export KR3090_WINDOWS_BUILD=$win KR3090_WINE=$WINE
  rc=0
  timeout 300 build/tests/wine/wine_comport_tests --gtest_color=no >"$logs/wine_comport_tests.log" 2>&1 || rc=$?
  echo $rc >"$logs/wine_comport_tests.rc"
) &
driver=$!

for exe in "$tests"/*_tests.exe; do
  t=$(basename "$exe" .exe)
  rc=0
  # Wine's own errors stay in the log: a DLL it cannot find is named there.
  (cd "$logs" && WINEDEBUG=fixme-all timeout 300 "$WINE" "$exe" --gtest_color=no \
    >"$logs/$t.log" 2>&1) || rc=$?
  record "$t.exe" "$logs/$t.log" $rc
done
wait $driver || true
record wine_comport_tests "$logs/wine_comport_tests.log" "$(cat "$logs/wine_comport_tests.rc")"

# The archive's server half on a team's server as a Windows PC reaches it: TCP
# and verified TLS through the package's qsqlpsql.dll, libpq.dll and OpenSSL.
# Left out are the tests that stop the server or start the import driver's
# kills (a Linux script and signals), which the Linux runs cover.
if [ -f "$tests/sqldrivers/qsqlpsql.dll" ] && [ -f "$tests/archive_tests.exe" ]; then
  team=$(mktemp -d /tmp/kr3090-wine-team-XXXXXX)
  trap 'scripts/team-server-test.sh remove "$team" || true; umount "$small" 2>/dev/null; umount "$locked" 2>/dev/null' EXIT
  scripts/team-server-test.sh start "$team" tls
  rc=0
  (cd "$logs" && KR3090_ARCHIVE_SERVER="Z:${team//\//\\}" WINEDEBUG=fixme-all timeout 300 "$WINE" \
    "$tests/archive_tests.exe" --gtest_color=no \
    --gtest_filter='-SqliteArchiveTest.*:TeamServerWithoutTlsTest.*:*GoingAway*:*Killed*' \
    >"$logs/archive_tests-team-server.log" 2>&1) || rc=$?
  record "archive_tests.exe (team server)" "$logs/archive_tests-team-server.log" $rc
  scripts/team-server-test.sh remove "$team"
else
  summary+=("archive_tests.exe (team server): not run, no qsqlpsql.dll (scripts/windows-libpq.sh builds it)")
fi

elapsed=$((($(date +%s%N) - started) / 100000000))
echo "=== Windows tests under $("$WINE" --version)"
printf '%s\n' "${summary[@]}"
printf '%-22s %4d passed %4d failed %4d skipped   (%d.%d s)\n' total "$total_passed" \
  "$total_failed" "$total_skipped" $((elapsed / 10)) $((elapsed % 10))
[ ! -f "$logs/skipped" ] || cat "$logs/skipped"
exit $status
