#!/usr/bin/env bash
# The archive on a team's PostgreSQL server as the utility's PCs reach it: over
# TCP on this machine with verified TLS. The script makes a test certificate
# authority and a server certificate for localhost with openssl (and a second
# authority that signed nothing: the wrong root certificate), starts the
# server on a free port of 127.0.0.1 with ssl on, pg_hba.conf taking
# hostssl with scram-sha-256 and rejecting hostnossl, and its messages in
# Chinese (lc_messages zh_CN.UTF-8), so that only the server's codes can tell
# what went wrong. The archive tests run against it, then against the same
# server without TLS. Prints "team server: N passed, M failed"; removes
# everything it started, also when a step fails.
#
#   scripts/team-server-test.sh                  build the tests if needed, run them
#   scripts/team-server-test.sh start DIR [MODE] a server in DIR (made when missing,
#                                                restarted when running); MODE tls
#                                                (the default), plain (ssl off) or
#                                                bench (TLS and plain text both taken)
#   scripts/team-server-test.sh stop DIR         stop it at once, keep DIR
#   scripts/team-server-test.sh remove DIR       stop it and remove DIR
#   KR3090_BUILD_DIR=build-asan                  the build whose tests run (default build)
#
# DIR holds: tcp ("localhost PORT"), ca.crt, wrong-ca.crt, password and pgpass
# (every role's password; PGPASSFILE), mode, the server's data, log and socket
# (the socket on the TCP port's number, for the script's own psql). Roles:
# kr3090 (owner), reader (may connect), visitor (may not connect to kr3090),
# and the team as the program's own --init-server and --add-user make it:
# tester1 and tester2 (测试), reviewer1 (审核), admin1 (管理).
set -euo pipefail
cd "$(dirname "$0")/.."
export PGCONNECT_TIMEOUT=10

die() { echo "team-server-test: $*" >&2; exit 1; }

# shellcheck source=scripts/lib/postgres.sh
source scripts/lib/postgres.sh

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# ca NAME DIR: a certificate authority of its own (NAME.key, NAME.crt).
ca() {
  openssl req -x509 -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -subj "/CN=kr3090 $1" -keyout "$2/$1.key" -out "$2/$1.crt" 2>/dev/null
}

make_server() {
  local dir=$1
  rm -rf "$dir/data"
  od -An -N12 -tx1 /dev/urandom | tr -d ' \n' >"$dir/password"
  printf '*:*:*:*:%s\n' "$(cat "$dir/password")" >"$dir/pgpass"
  chmod 600 "$dir/pgpass"
  echo "localhost $(free_port)" >"$dir/tcp"
  # The authority, the server's certificate for localhost signed by it, and
  # another authority the server's certificate does not come from.
  ca ca "$dir"
  ca wrong-ca "$dir"
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -subj /CN=localhost -keyout "$dir/server.key" -out "$dir/server.csr" 2>/dev/null
  printf 'subjectAltName = DNS:localhost\n' >"$dir/server.ext"
  openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" \
    -CAcreateserial -days 2 -extfile "$dir/server.ext" -out "$dir/server.crt" 2>/dev/null
  chmod 600 "$dir/server.key"
  # The server's messages in Chinese: a locale of its own, as the system has none.
  mkdir -p "$dir/locale"
  localedef -i zh_CN -f UTF-8 "$dir/locale/zh_CN.UTF-8" 2>/dev/null ||
    [ -f "$dir/locale/zh_CN.UTF-8/LC_MESSAGES/SYS_LC_MESSAGES" ] || die "localedef zh_CN.UTF-8 failed"
  if [ "$(id -u)" -eq 0 ]; then chown -R nobody "$dir"; fi
  as_server "$bin/initdb" -D "$dir/data" -U kr3090 --pwfile="$dir/password" \
    -A scram-sha-256 -E UTF8 --no-locale --no-sync >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; die "initdb failed"; }
}

start() {
  local dir=$1 mode=${2:-}
  [ -n "$mode" ] || mode=$(cat "$dir/mode" 2>/dev/null || echo tls)
  mkdir -p "$dir"
  stop "$dir" || true
  [ -f "$dir/data/PG_VERSION" ] || make_server "$dir"
  local port ssl
  port=$(awk '{print $2}' "$dir/tcp")
  if [ "$mode" = plain ]; then
    ssl="-c ssl=off"
  else
    ssl="-c ssl=on -c ssl_cert_file=$dir/server.crt -c ssl_key_file=$dir/server.key"
  fi
  # A team's server takes TLS alone; the benchmark's also plain text, to compare.
  if [ "$mode" = bench ]; then
    printf 'local all all scram-sha-256\nhost all all 127.0.0.1/32 scram-sha-256\n'
  else
    printf 'local     all  all                scram-sha-256\n'
    printf 'hostssl   all  all  127.0.0.1/32  scram-sha-256\n'
    printf 'hostnossl all  all  0.0.0.0/0     reject\n'
  fi >"$dir/data/pg_hba.conf"
  as_server env LOCPATH="$dir/locale" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-k $dir -c listen_addresses=127.0.0.1 -p $port -c lc_messages=zh_CN.UTF-8 $ssl" \
    start >/dev/null || { tail -n 20 "$dir/server.log" >&2; die "the server did not start"; }
  echo "$mode" >"$dir/mode"
  local psql=(env PGPASSFILE="$dir/pgpass" "$bin/psql" -h "$dir" -p "$port" -U kr3090 -v ON_ERROR_STOP=1 -tAq)
  if ! "${psql[@]}" -d postgres -c "SELECT 1 FROM pg_database WHERE datname = 'kr3090'" | grep -q 1; then
    local password
    password=$(cat "$dir/password")
    "${psql[@]}" -d postgres <<EOF
CREATE DATABASE kr3090;
REVOKE CONNECT ON DATABASE kr3090 FROM PUBLIC;
CREATE ROLE reader LOGIN PASSWORD '$password';
CREATE ROLE visitor LOGIN PASSWORD '$password';
GRANT CONNECT ON DATABASE kr3090 TO reader;
EOF
    "${psql[@]}" -d kr3090 -c "GRANT USAGE ON SCHEMA public TO reader"
    team "$dir" "$port" "$password"
  fi
}

# team DIR PORT PASSWORD: the team's roles and members, by the program itself
# over the server's socket (the password of each member on standard input).
team() {
  local kr3090=${KR3090_BUILD_DIR:-build}/app/kr3090
  local url="postgresql://kr3090@localhost:$2/kr3090?host=$1"
  [ -x "$kr3090" ] || cmake --build "${KR3090_BUILD_DIR:-build}" --target kr3090 >/dev/null
  PGPASSFILE="$1/pgpass" "$kr3090" --init-server "$url" >/dev/null || die "kr3090 --init-server failed"
  local member
  for member in tester1:测试 tester2:测试 reviewer1:审核 admin1:管理; do
    printf '%s\n' "$3" | PGPASSFILE="$1/pgpass" "$kr3090" --add-user "$url" "${member%%:*}" "${member#*:}" \
      >/dev/null || die "kr3090 --add-user ${member%%:*} failed"
  done
}

stop() {
  local dir=$1
  [ -f "$dir/data/postmaster.pid" ] || return 0
  as_server "$bin/pg_ctl" -D "$dir/data" -m immediate -w -t 30 stop >/dev/null
}

case "${1:-}" in
  start) start "$2" "${3:-}"; exit 0 ;;
  stop) stop "$2"; exit 0 ;;
  remove) stop "$2" || true; rm -rf "$2"; exit 0 ;;
  "") ;;
  *) die "usage: $0 [start DIR [tls|plain|bench] | stop DIR | remove DIR]" ;;
esac

scripts/setup.sh
build=${KR3090_BUILD_DIR:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then cmake --preset default >/dev/null; fi
cmake --build "$build" --target kr3090 archive_tests archive_import_driver result_window_tests >/dev/null

started=$(date +%s)
dir=$(mktemp -d /tmp/kr3090-team-server-XXXXXX)
trap 'stop "$dir" || true; rm -rf "$dir"' EXIT
log=$build/tests/archive/team-server.log
: >"$log"
total_passed=0 total_failed=0 status=0

# run NAME FILTER [TESTS]: the tests (the archive's by default) matching FILTER
# against the server as it is now.
run() {
  local name=$1 filter=$2 tests=${3:-$build/tests/archive/archive_tests}
  local rc=0 passed failed part=$build/tests/archive/team-server-$1.log
  KR3090_ARCHIVE_SERVER=$dir QT_QPA_PLATFORM=offscreen timeout 600 "$tests" --gtest_color=no \
    --gtest_filter="$filter" >"$part" 2>&1 || rc=$?
  cat "$part" >>"$log"
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$part")
  failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' "$part")
  passed=${passed:-0} failed=${failed:-0}
  if [ "$rc" != 0 ]; then
    status=1
    grep -E '^\[  FAILED  \]|Failure|Expected|Which is|Value of|Actual' "$part" | head -n 60 ||
      tail -n 40 "$part"
    [ "$failed" != 0 ] || failed=1  # crashed or timed out
  fi
  echo "$name: $passed passed, $failed failed"
  total_passed=$((total_passed + passed)) total_failed=$((total_failed + failed))
}

start "$dir" tls
# Every archive test but those of a SQLite file, over verified TLS, and the
# team server's own.
run tls '-SqliteArchiveTest.*:TeamServerWithoutTlsTest.*'
# "测试连接" in "档案设置", "同步" with the team server as the server, and the
# archive window following the role of the server's user.
run window '*TestConnection*:*SyncWindow*:*TheServersUser*' "$build/tests/app/result_window_tests"
start "$dir" plain
run plain 'TeamServerWithoutTlsTest.*'

echo "team server: PostgreSQL $("$bin/postgres" --version | awk '{print $3}')," \
  "OpenSSL $(openssl version | awk '{print $2}'), $(($(date +%s) - started)) s (log: $log)"
echo "team server: $total_passed passed, $total_failed failed"
exit $status
