#!/usr/bin/env bash
# What a team's server costs "存入档案" on a Windows PC: kr3090.exe's archive
# library under wine (the archive tests' import driver, which stores through
# the same code) stores 100 records at a time into a server of
# scripts/team-server-test.sh over verified TLS and into a SQLite file. Each
# figure is the time of a run storing 51 × 100 records less that of a run
# storing 1 × 100, so that starting wine, connecting and the schema check
# fall out: fifty stores of 100 records (fewer drown in the time wine takes
# to start, which varies by a tenth of a second). Prints both and their ratio.
#
#   scripts/measure-team-windows.sh          kr3090.exe's library under wine
#   scripts/measure-team-windows.sh linux    the Linux build's, for comparison
#
# Needs build/ (its driver makes the archives) and, for wine,
# build-windows/ with qsqlpsql.dll (scripts/windows-libpq.sh, windows-build.sh).
set -euo pipefail
shopt -s inherit_errexit
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/lib/common.sh"
cd "$(dirname "$0")/.."
kind=${1:-windows}

cmake --build build --target archive_import_driver >/dev/null
linux_driver=$(pwd)/build/tests/archive/archive_import_driver
if [ "$kind" = windows ]; then
  win=$(pwd)/build-windows/tests/windows
  [ -f "$win/sqldrivers/qsqlpsql.dll" ] || fail "no $win/sqldrivers/qsqlpsql.dll: scripts/windows-libpq.sh, then scripts/windows-build.sh"
  source scripts/lib/wine-env.sh
  wine_prefix_up
  WINEPATH=$(scripts/windows-qt.sh --cached)/bin\;$(scripts/windows-libpq.sh --cached)/bin
  export WINEPATH
  driver=("$WINE" "$win/archive_import_driver.exe")
  place() { echo "Z:${1//\//\\}"; }
else
  driver=("$linux_driver")
  place() { echo "$1"; }
fi

dir=$(mktemp -d /tmp/kr3090-measure-team-XXXXXX)
chmod 755 "$dir"  # the server runs as nobody when root starts it
trap 'scripts/team-server-test.sh remove "$dir/server" >/dev/null 2>&1 || true; rm -rf "$dir"' EXIT
scripts/team-server-test.sh start "$dir/server" tls >/dev/null
port=$(awk '{ print $2 }' "$dir/server/tcp")
psql_team() {
  env PGPASSFILE="$dir/server/pgpass" psql -h "$dir/server" -p "$port" -U kr3090 -d kr3090 -tAq -c "$1"
}

# The archives, made by the Linux program's library (an import into a
# campaign that is not there opens and sets up the archive, then fails), and
# a campaign in each.
"$linux_driver" "server:$dir/server" 1 0 1 1 >/dev/null 2>&1 || true
"$linux_driver" "sqlite:$dir/bench.sqlite" 1 0 1 1 >/dev/null 2>&1 || true
campaign_sql="INSERT INTO sites (name, voltage_level, grid_size, location) VALUES ('测量', '', '', '');
INSERT INTO campaigns (site_id, test_date, testers, weather, soil, lead_layout, lead_lengths,
  instrument_serial, remarks, power_frequency)
  SELECT id, '2026-01-01', '', '', '', '', '', '', '', 50 FROM sites;"
psql_team "$campaign_sql" >/dev/null
python3 -c 'import sqlite3, sys; db = sqlite3.connect(sys.argv[1]); db.executescript(sys.argv[2]); db.commit()' \
  "$dir/bench.sqlite" "$campaign_sql"

# stores TARGET FIRST COUNT: seconds the driver takes to store COUNT records.
stores() {
  local t0 t1
  t0=$EPOCHREALTIME
  (cd "$dir" && WINEDEBUG=-all "${driver[@]}" "$1" 1 "$2" "$3" 100 >"$dir/out.txt" 2>&1) ||
    fail "the driver failed on $1: $(tail -n 3 "$dir/out.txt")"
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}

# fifty stores of 100 records into TARGET, in seconds: 51 × 100 less 1 × 100.
fifty_stores() {
  local short long
  short=$(stores "$1" "$2" 100)
  long=$(stores "$1" $(($2 + 100)) 5100)
  awk -v s="$short" -v l="$long" 'BEGIN { printf "%.3f", l - s }'
}

server=$(fifty_stores "server:$(place "$dir/server")" 0)
sqlite=$(fifty_stores "sqlite:$(place "$dir/bench.sqlite")" 0)
stored=$(psql_team "SELECT count(*) FROM records")
say "$kind: 100 records stored into the team's server over verified TLS: $(awk -v t="$server" 'BEGIN { printf "%.1f", t * 20 }') ms;" \
  "into a SQLite file: $(awk -v t="$sqlite" 'BEGIN { printf "%.1f", t * 20 }') ms;" \
  "ratio $(awk -v a="$server" -v b="$sqlite" 'BEGIN { printf "%.1f", a / b }') (the server holds $stored records)"
