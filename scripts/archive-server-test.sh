#!/usr/bin/env bash
# The archive's tests against a real PostgreSQL server that this script starts
# itself: initdb into a temporary folder, the server on a Unix socket in that
# folder (no TCP, no system service), the archive tests run against it, the
# server stopped and the folder removed at the end, also when a step fails.
# Prints "postgresql: N passed, M failed"; exits non-zero on any failure.
#
#   scripts/archive-server-test.sh              build the tests if needed, run them
#   scripts/archive-server-test.sh start DIR    a server in DIR (made when missing,
#                                               restarted when running)
#   scripts/archive-server-test.sh stop DIR     stop it at once (-m immediate), keep DIR
#   scripts/archive-server-test.sh remove DIR   stop it and remove DIR
#   KR3090_BUILD_DIR=build-asan                 the build whose tests run (default build)
#
# The server: user and database kr3090, password in DIR/password, a pgpass file
# DIR/pgpass for libpq (PGPASSFILE), scram-sha-256 on the socket DIR/.s.PGSQL.5432.
# The tests find it through KR3090_ARCHIVE_SERVER=DIR. As root the server runs as
# nobody: initdb and postgres refuse root.
set -euo pipefail
cd "$(dirname "$0")/.."

die() { echo "archive-server-test: $*" >&2; exit 1; }
# psql and createdb give up on a server that does not answer.
export PGCONNECT_TIMEOUT=10

# shellcheck source=scripts/lib/postgres.sh
source scripts/lib/postgres.sh

start() {
  local dir=$1
  mkdir -p "$dir"
  stop "$dir" || true  # one left by a run that was cut short
  if [ ! -f "$dir/data/PG_VERSION" ]; then
    rm -rf "$dir/data"
    od -An -N12 -tx1 /dev/urandom | tr -d ' \n' >"$dir/password"
    printf '*:*:*:kr3090:%s\n' "$(cat "$dir/password")" >"$dir/pgpass"
    chmod 600 "$dir/pgpass"
    [ "$(id -u)" -ne 0 ] || chown nobody "$dir" "$dir/password"
    as_server "$bin/initdb" -D "$dir/data" -U kr3090 --pwfile="$dir/password" \
      -A scram-sha-256 -E UTF8 --no-locale --no-sync >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; die "initdb failed"; }
  fi
  as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-k $dir -c listen_addresses='' -p 5432" start >/dev/null ||
    { tail -n 20 "$dir/server.log" >&2; die "the server did not start"; }
  if ! PGPASSFILE=$dir/pgpass "$bin/psql" -h "$dir" -U kr3090 -d postgres -tAqc \
    "SELECT 1 FROM pg_database WHERE datname = 'kr3090'" | grep -q 1; then
    PGPASSFILE=$dir/pgpass "$bin/createdb" -h "$dir" -U kr3090 kr3090
  fi
}

stop() {
  local dir=$1 mode=${2:-immediate}
  [ -f "$dir/data/postmaster.pid" ] || return 0
  as_server "$bin/pg_ctl" -D "$dir/data" -m "$mode" -w -t 30 stop >/dev/null
}

case "${1:-}" in
  start) start "$2"; exit 0 ;;
  stop) stop "$2"; exit 0 ;;
  remove) stop "$2"; rm -rf "$2"; exit 0 ;;
  "") ;;
  *) die "usage: $0 [start DIR | stop DIR | remove DIR]" ;;
esac

scripts/setup.sh
build=${KR3090_BUILD_DIR:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then cmake --preset default >/dev/null; fi
cmake --build "$build" --target archive_tests archive_import_driver >/dev/null

started=$(date +%s)
dir=$(mktemp -d /tmp/kr3090-archive-server-XXXXXX)
trap 'stop "$dir" || true; rm -rf "$dir"' EXIT
start "$dir"
log=$build/tests/archive/postgresql.log
rc=0
# Every test but those of a SQLite file.
KR3090_ARCHIVE_SERVER=$dir timeout 600 "$build/tests/archive/archive_tests" --gtest_color=no \
  --gtest_filter=-SqliteArchiveTest.* \
  >"$log" 2>&1 || rc=$?
passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log")
failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$log")
skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$log")
passed=${passed:-0} failed=${failed:-0} skipped=${skipped:-0}
if [ "$rc" != 0 ]; then
  grep -E '^\[  FAILED  \]|Failure|Expected|Which is|Value of|Actual' "$log" | head -n 60 ||
    tail -n 40 "$log"
  [ "$failed" != 0 ] || failed=1  # crashed or timed out
fi
echo "archive tests against PostgreSQL $("$bin/postgres" --version | awk '{print $3}')" \
  "in $(($(date +%s) - started)) s (log: $log)"
if [ "$skipped" = 0 ]; then
  echo "postgresql: $passed passed, $failed failed"
else
  echo "postgresql: $passed passed, $failed failed, $skipped skipped"
fi
[ "$rc" = 0 ]
