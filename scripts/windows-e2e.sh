#!/usr/bin/env bash
# kr3090.exe under wine from end to end, against the Linux build as reference.
#
# On a virtual desktop (Xvfb 1280x1024x24, openbox) the same operator session
# is played twice against kr3090-sim (100 stored records, a fixed seed): once
# with the Linux build, once with kr3090.exe from the Windows zip under wine,
# the simulator reached through COM5 of the wine prefix. The session clicks
# the toolbar and page buttons at their designed positions and types paths
# into the real save dialogs: connect, live readings and polling, a test
# started and stopped after exactly five measurements, the live result saved
# ("保存" on Ctrl), the History page with its directory, record 001 on the
# Comp page saved as a text block and as a spreadsheet row and printed ("打印",
# to the default printer of a private CUPS server), the 100-record upload
# ("上传历史数据") into a text file and into a spreadsheet file, each ending in
# the shell's open, "频率分析" with its window, and "退出". Screenshots of the
# Ctrl, History and Comp pages, of the analysis window and the printed pages
# rendered to PNG stay in build-windows/e2e/.
#
# Then each program starts again, against the simulator's seven power-up
# records and an archive not yet made, and is answered by keyboard only:
# "存入档案" on the History page, a Chinese site name typed where the store
# window puts the typing, Enter to store, Enter to close the box; "档案" on
# the top bar, and Ctrl+P there prints the campaign's report to the same
# queue. The report is read back from the job as spooled (Linux sends PDF,
# wine PostScript, which ghostscript turns into PDF) with pdftotext: the
# site, the title, the Z0 line and "第 k 页 共 N 页" on every page. The
# archive file the program made beside itself is read with python's sqlite3:
# sound, one site, one campaign of 7 records. Screenshots of the store
# window, its box and the archive window and the report's first page stay
# in build-windows/e2e/*/archive/.
#
# The result files of the two runs must be equal byte for byte (GBK, CR LF),
# the live "Date：" line aside, both runs must send the instrument the same
# requests, print one page that is not blank to the default queue and hand
# the uploaded file to the shell's open (Linux: a stub xdg-open; wine:
# ShellExecute "open" maximised, which starts wine's Notepad, closed again).
# Then the zip is unpacked into a folder mounted read-only, as under Program
# Files: kr3090.exe saves its settings into %APPDATA%\kr3090\Config.ini, writes
# nothing beside itself, and its next start opens the port saved there.
# The two archives must hold the same records and the two reports the same
# text (spacing, the campaign's date and the ohm sign aside).
# Exits non-zero on any difference or failed step.
#
#   scripts/windows-e2e.sh [--zip PATH] [--linux-only] [--wine-lang LANG]
#
# wine runs in LANG zh_CN.UTF-8 (code page 936, as the operators' Windows);
# --wine-lang C.UTF-8 runs it with code page 1252 instead.
#
# Needs the Linux tree (build/: kr3090, kr3090-sim, winee2e-probe) and
# build-windows/kr3090-win64.zip (scripts/windows-build.sh); runs as root (the
# print server's cups-pdf backend). Bounded: gives up after 15 minutes.
set -euo pipefail
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/lib/common.sh"
# Bounded whatever hangs: after 15 minutes the run ends and cleans up.
bounded 900 60 "$@"
cd "$(dirname "$0")/.."
root=$(pwd)

zip=$root/build-windows/kr3090-win64.zip
linux_only=0
wine_lang=zh_CN.UTF-8
while [ $# -gt 0 ]; do
  case "$1" in
    --zip) zip=$(realpath "$2"); shift 2 ;;
    --linux-only) linux_only=1; shift ;;
    --wine-lang) wine_lang=$2; shift 2 ;;
    *) echo "usage: $0 [--zip PATH] [--linux-only] [--wine-lang LANG]" >&2; exit 2 ;;
  esac
done

out=$root/build-windows/e2e
seed=12
started=$SECONDS

source scripts/lib/wine-env.sh
source tests/winee2e/session.sh
trap e2e_cleanup EXIT
trap 'echo "windows-e2e: FAIL: stopped (time limit or signal)" >&2; exit 1' TERM INT

[ "$(id -u)" -eq 0 ] || fail "run it as root (the print server's cups-pdf backend needs root)"
for tool in Xvfb openbox xdotool xprop xwininfo xmodmap import convert lpstat file unzip pdftoppm pdftotext pdfinfo ps2pdf python3 iconv perl localedef; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh ci installs it)"
done
[ -d build ] || fail "no Linux tree in build/ (cmake --preset default)"
cmake --build build --target kr3090 kr3090-sim winee2e-probe >/dev/null ||
  fail "the Linux build of kr3090, kr3090-sim or winee2e-probe failed"
if [ "$linux_only" = 0 ]; then
  [ -f "$zip" ] || fail "no $zip (scripts/windows-build.sh writes it)"
  # grep reads the whole listing: with -q it would stop early and unzip, cut off
  # by SIGPIPE, would fail the pipe.
  unzip -l "$zip" | grep '/kr3090\.exe$' >/dev/null || fail "no kr3090.exe in $zip"
fi

rm -rf "$out"
mkdir -p "$out"

[ "$linux_only" = 1 ] || wine_locale_up

print_dir=$out/cups
scripts/print-server.sh start "$print_dir" >/dev/null
cups_server=$print_dir/cups.sock
desktop_up

# Where cups-pdf leaves a page (the job owner's ~/PDF, else the anonymous folder).
pdf_folders=("$(getent passwd "$(id -un)" | cut -d: -f6)/PDF" /var/spool/cups-pdf/ANONYMOUS)

jobs_done() { lpstat -h "$cups_server" -W completed -o 2>/dev/null | grep -c '^PDF-' || true; }

# take_job N WHAT JOB PAGE: waits (60 s) for a job beyond the N finished so
# far, copies its file as spooled (what the program sent) to JOB and moves the
# page cups-pdf made of it to PAGE. Sets job, its number.
take_job() {
  local n=$1 what=$2 end=$((SECONDS + 60)) page="" spool
  while [ "$(jobs_done)" -le "$n" ] && [ $SECONDS -lt $end ]; do sleep 0.2; done
  [ "$(jobs_done)" -gt "$n" ] || fail "$what sent no job to the default queue within 60 s"
  job=$(lpstat -h "$cups_server" -W completed -o | sed -n 's/^PDF-\([0-9]*\) .*/\1/p' | sort -n | tail -n1)
  spool=$print_dir/spool/d$(printf %05d "$job")-001
  cp "$spool" "$3"
  for _ in $(seq 50); do
    # Newer than the job: other print servers' pages share the folder and the
    # job numbers.
    page=$(find "${pdf_folders[@]}" -name "*-job_$job.pdf" -newer "$spool" 2>/dev/null | head -n1)
    [ -n "$page" ] && break
    sleep 0.2
  done
  [ -n "$page" ] || fail "${what%%:*}: print job $job finished but cups-pdf left no page"
  mv "$page" "$4"
}

# winpath PATH: the path as a Windows program sees it (drive Z: is /).
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# shell_opened KIND DIR FILE: the session handed FILE to the shell's open
# (Linux: the stub xdg-open; wine: ShellExecute "open", shown maximised).
shell_opened() {
  local name=${3//./\\.}
  if [ "$1" = linux ]; then
    wait_count "$2/shell-open.log" "$name" 1 20 "$1: shell open of $3"
  else
    wait_count "$2/wine.log" "SHELL_execute .*verb=L\"open\" file=L\".*$name\" .*show=0x00000003" 1 20 \
      "$1: ShellExecute open (shown maximised) of $3"
  fi
}

session_stop() {
  kill "$app_pid" "$SIM_PID" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
}

# One operator session. Returns 3 when the test did not see exactly five
# measurements (a poll overtook the stop click), so it is run again.
run_session() {
  local kind=$1 dir=$out/$1 pkg files n
  rm -rf "$dir"
  mkdir -p "$dir/files" "$dir/bin"
  files=$dir/files
  if [ "$kind" = linux ]; then
    pkg=$dir/pkg
    mkdir -p "$pkg"
    cp build/app/kr3090 "$pkg/"
    # The shell's open reaches this stub, never a real editor.
    printf '#!/bin/sh\necho "$@" >>"%s"\n' "$dir/shell-open.log" >"$dir/bin/xdg-open"
    chmod +x "$dir/bin/xdg-open"
    path() { echo "$files/$1"; }
  else
    unzip -q "$zip" -d "$dir/zip"
    pkg=$(dirname "$(find "$dir/zip" -name kr3090.exe | head -n1)")
    [ -f "$pkg/kr3090.exe" ] || fail "no kr3090.exe in $zip"
    path() { winpath "$files/$1"; }
  fi
  ln -sfn "$pkg" "$dir/pkg"

  sim_up "$dir" --records 100 --seed "$seed" --verbose
  local log=$dir/sim.log
  app_up "$kind" "$dir"
  say "$kind: window shown ${launch_ms} ms after launch; simulator on $sim_device"

  click 53 20  # 连接设备
  wait_count "$log" 'reply 24 A1 AA' 1 30 "$kind: connect reply"
  n=$(count "$log" 'request 24 A1 DD')
  wait_count "$log" 'request 24 A1 DD' $((n + 3)) 30 "$kind: three polls"
  say "$kind: connected, polling"

  # The test runs for exactly five measurements: the start frame's and four
  # polls'; the stop click follows the fifth at once, well before the next poll.
  local measuring='request 24 A1 DD 14 [0-9A-F]{2} [0-9A-F]{2} 01'
  click 136 357  # 开  始  测  试
  wait_count "$log" "$measuring" 5 30 "$kind: five measurements"
  click 136 357  # the same button stops the test
  n=$(count "$log" 'request 24 A1 DD 14 [0-9A-F]{2} [0-9A-F]{2} 00')
  wait_count "$log" 'request 24 A1 DD 14 [0-9A-F]{2} [0-9A-F]{2} 00' $((n + 3)) 30 "$kind: polls after the stop"
  if [ "$(count "$log" "$measuring")" != 5 ]; then
    say "$kind: $(count "$log" "$measuring") measurements instead of 5; again"
    session_stop
    return 3
  fi
  say "$kind: test started and stopped after 5 measurements"
  shot "$dir/ctrl.png"

  click 301 20  # 保存, the live result
  answer_dialog "$(path live.txt)"
  wait_lines "$files/live.txt" 15 20

  click 136 185  # 历  史  数  据
  wait_count "$log" 'reply 24 A1 C3 14 64 65' 1 30 "$kind: directory of 100 records"
  notice_gone
  sleep 0.5
  shot "$dir/history.png"

  click 136 137  # 打       开 (row 001 is selected)
  wait_count "$log" 'reply 24 A1 C5' 1 30 "$kind: record 001"
  notice_gone
  sleep 0.5
  shot "$dir/comp.png"

  click 301 20  # 保存, the stored record
  answer_dialog "$(path record.txt)"
  wait_lines "$files/record.txt" 16 20
  click 301 20  # 保存 again, as a spreadsheet row
  # The file type is chosen in the dialog: Windows' own dialog gives a name the
  # extension of the chosen type (wine's even to one typed with another), and
  # it opens with the type of the name it offers; Qt's keeps the one typed.
  if [ "$kind" = windows ]; then
    answer_dialog "$(path record.csv)" 1 "$dir/save-dialog-types.png"
  else
    answer_dialog "$(path record.csv)"
  fi
  wait_lines "$files/record.csv" 2 20

  local job
  n=$(jobs_done)
  click 383 20  # 打印
  take_job "$n" "$kind: 打印" "$dir/print-job" "$dir/print.pdf"
  pdftoppm -r 50 -png -singlefile "$dir/print.pdf" "$dir/print" 2>/dev/null
  # The ink on the sheet: a blank page trims to a single pixel.
  local ink
  ink=$(convert "$dir/print.png" -trim -format '%wx%h' info:)
  { [ "${ink%x*}" -gt 50 ] && [ "${ink#*x}" -gt 50 ]; } || fail "$kind: the printed page is blank ($ink)"
  say "$kind: 打印 reached the queue (job $job, $(file -b "$dir/print-job" | cut -d, -f1); ink ${ink} px at 50 dpi)"

  click 136 185  # 返       回 (Comp) to History
  sleep 1
  click 136 185  # 上传历史数据 (the dialog offers record.csv: back to the text type)
  answer_dialog "$(path upload.txt)" "$([ "$kind" = windows ] && echo -1 || echo 0)"
  wait_count "$log" 'request 24 A1 C6' 1 30 "$kind: upload request"
  wait_lines "$files/upload.txt" 1600 60
  say "$kind: 100 records uploaded"
  # The file is handed to the shell once the notice "数据上传完毕！" hides itself.
  shell_opened "$kind" "$dir" upload.txt
  if [ "$kind" = windows ]; then
    # wine's notepad shows it; closing it leaves the main window free again.
    local editor
    editor=$("$probe" window "upload.txt - $(notepad_caption)" 20000) ||
      fail "windows: no notepad window for upload.txt"
    xdotool windowactivate --sync "$(awk '{print $2}' <<<"$editor")" key alt+F4
    "$probe" gone "upload.txt - $(notepad_caption)" 10000 || fail "windows: notepad did not close"
  fi

  click 136 185  # 上传历史数据 again, into a spreadsheet file
  answer_dialog "$(path upload.csv)" "$([ "$kind" = windows ] && echo 1 || echo 0)"
  wait_lines "$files/upload.csv" 101 60
  say "$kind: 100 records uploaded as spreadsheet rows"
  # Handed to the shell like the text file (a new wine prefix has no program for .csv).
  shell_opened "$kind" "$dir" upload.csv
  if [ "$kind" = windows ]; then
    # Where the shell finds no program for .csv, the program says so with the
    # file's path; the box is answered so that the window is free again.
    local box
    if box=$("$probe" window 提示 10000 | awk '{ print $2 }') && [ -n "$box" ]; then
      dismiss "$box"
      "$probe" gone 提示 10000 || fail "windows: the box about upload.csv did not close"
      say "windows: no program for .csv, said in a box"
    fi
  fi

  # 频率分析 asks for the same records again and shows them in its window.
  n=$(count "$log" 'request 24 A1 C6')
  click 136 233  # 频率分析
  wait_count "$log" 'request 24 A1 C6' $((n + 1)) 30 "$kind: analysis request"
  local analysis
  analysis=$("$probe" window '频率分析' 60000) || fail "$kind: no 频率分析 window"
  notice_gone
  sleep 1
  shot "$dir/freq-analysis.png"
  xdotool windowactivate --sync "$(awk '{print $2}' <<<"$analysis")" key alt+F4
  "$probe" gone '频率分析' 10000 || fail "$kind: the 频率分析 window did not close"
  say "$kind: 频率分析 shown and closed"

  app_quit "$kind" "$log"
  if [ "$kind" = windows ]; then
    # The trace as OutputDebugStringA delivers it (GBK, escaped by wine).
    # wine shows about 300 characters of a string: longer chunks end in "...".
    perl -ne 'if (/OutputDebugStringA "(.*)"(\.\.\.)?\s*$/) { ($s = $1) =~ s/\\x([0-9a-f]{2})/chr(hex $1)/gie; print $s, ($2 ? " ..." : ""), "\n" }' \
      "$dir/wine.log" | iconv -f GBK -t UTF-8 >"$dir/trace.log"
  else
    # Linux traces through its logging category: the lines as Windows has them.
    sed -i 's/^kr3090\.trace: //' "$dir/trace.log"
  fi
  { grep -q '^发送 24 A1 AA' "$dir/trace.log" && grep -q '^收到 24 A1 AA' "$dir/trace.log"; } ||
    fail "$kind: the trace lacks the connect request and its reply"
  say "$kind: session done"
}

# Notepad's caption in the locale wine runs in.
notepad_caption() { case "$wine_lang" in zh_CN*) echo '记事本' ;; *) echo Notepad ;; esac; }

play() {
  local kind=$1 rc
  for _ in 1 2 3; do
    rc=0
    run_session "$kind" || rc=$?
    [ $rc = 3 ] || return $rc
  done
  fail "$kind: the test never stopped after exactly five measurements"
}

# message_box SECONDS: a visible box titled 提示, or nothing after SECONDS.
message_box() {
  local end=$((SECONDS + $1)) w
  while [ "$SECONDS" -lt "$end" ]; do
    w=$(xdotool search --onlyvisible --name '^提示$' 2>/dev/null | head -n1) && [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.2
  done
  return 1
}
dismiss() { xdotool windowactivate --sync "$1" key Return 2>/dev/null || xdotool key Return; sleep 0.5; }

# ---- the archive: the instrument's records stored, the campaign's report printed

site_name='第一变电站'
report_title='大地网接地参数测试报告'

# open_store WHAT LOG: on the History page, "存入档案" reads the instrument's
# seven records into the window "存入档案".
open_store() {
  click 136 185  # 历  史  数  据
  wait_count "$2" 'reply 24 A1 C3 14 07 08' 1 30 "$1: directory of 7 records"
  notice_gone
  click 136 281  # 存入档案
  wait_count "$2" 'request 24 A1 C6' 1 30 "$1: upload request"
  "$probe" window 存入档案 30000 >/dev/null || fail "$1: no 存入档案 window"
  notice_gone
  sleep 1
}

# store_by_enter WHAT DIR: Enter is "存入", and Enter closes the box that
# says what was stored; the store window goes with it.
store_by_enter() {
  local box
  xdotool key Return
  box=$(message_box 30) || { shot "$2/unexpected.png"; fail "$1: no box after 存入 by Enter"; }
  sleep 0.5
  shot "$2/stored.png"
  xdotool key Return
  "$probe" gone 提示 10000 || fail "$1: Enter did not close the box after the store"
  "$probe" gone 存入档案 10000 || fail "$1: the 存入档案 window stayed after the store"
}

# archive_report WHAT DIR: "档案" opens the archive window (shot into
# DIR/archive.png), Ctrl+P prints the selected campaign's report, whose job,
# read back, lands in DIR/report.txt, and Alt+F4 closes the window.
archive_report() {
  local kind=$1 dir=$2 archive n job pages type k z0
  click 632 20  # 档案
  archive=$("$probe" window 档案 30000 | awk '{ print $2 }') || fail "$kind: no 档案 window"
  sleep 1
  shot "$dir/archive.png"
  n=$(jobs_done)
  xdotool windowactivate --sync "$archive" key ctrl+p
  take_job "$n" "$kind: Ctrl+P in 档案" "$dir/report-job" "$dir/report-cups.pdf"
  pdftoppm -r 80 -png -f 1 -singlefile "$dir/report-cups.pdf" "$dir/report-page1" 2>/dev/null
  type=$(file -b "$dir/report-job" | cut -d, -f1)
  case "$type" in
    PDF*) cp "$dir/report-job" "$dir/report.pdf" ;;
    PostScript*) ps2pdf "$dir/report-job" "$dir/report.pdf" || fail "$kind: ghostscript could not read the report job" ;;
    *) fail "$kind: the report job is neither PDF nor PostScript: $type" ;;
  esac
  # As laid out on the page; wine's font gives back some Ω as the ohm sign.
  pdftotext -layout "$dir/report.pdf" - | LC_ALL=C sed 's/\xe2\x84\xa6/\xce\xa9/g' >"$dir/report.txt" ||
    fail "$kind: pdftotext could not read the report"
  pages=$(pdfinfo "$dir/report.pdf" | sed -n 's/^Pages: *//p')
  grep -qF "$site_name" "$dir/report.txt" || fail "$kind: the report does not name the site"
  grep -qF "$report_title" "$dir/report.txt" || fail "$kind: the report lacks its title"
  z0=$(grep -o -m1 -E 'Z0 ：[0-9.]+m?Ω' "$dir/report.txt") || fail "$kind: the report lacks the Z0 line"
  for ((k = 1; k <= pages; k++)); do
    grep -qF "第 $k 页 共 $pages 页" "$dir/report.txt" || fail "$kind: the report lacks \"第 $k 页 共 $pages 页\""
  done
  say "$kind: Ctrl+P printed the campaign's report (job $job, $type, $pages pages: $report_title, $site_name, $z0, 第 k 页 共 $pages 页)"
  xdotool windowactivate --sync "$archive" key alt+F4
  "$probe" gone 档案 10000 || fail "$kind: the 档案 window did not close"
}

# archive_session linux|windows: the same program started again, now against
# the simulator's seven power-up records, into a new archive (SQLite, beside
# the program). Only the keyboard answers the windows: the new site's name is
# typed where the store window puts the typing, Enter stores and Enter closes
# the box; Ctrl+P in "档案" prints the campaign's report. The report is read
# back from the job as spooled (Linux sends PDF, wine PostScript, which
# ghostscript turns into PDF) into ARCHIVE/report.txt.
archive_session() {
  local kind=$1 dir=$out/$1/archive log
  rm -rf "$dir"
  mkdir -p "$dir/bin"
  ln -sfn "$(realpath "$out/$kind/pkg")" "$dir/pkg"
  if [ "$kind" = linux ]; then
    printf '#!/bin/sh\necho "$@" >>"%s"\n' "$dir/shell-open.log" >"$dir/bin/xdg-open"
    chmod +x "$dir/bin/xdg-open"
  fi
  [ ! -e "$dir/pkg/kr3090-archive.sqlite" ] || fail "$kind: an archive beside the program before its first store"
  sim_up "$dir" --seed "$seed" --verbose
  log=$dir/sim.log
  app_up "$kind" "$dir"
  click 53 20  # 连接设备
  wait_count "$log" 'reply 24 A1 AA' 1 30 "$kind archive: connect reply"
  open_store "$kind archive" "$log"
  shot "$dir/store.png"
  # An empty archive: the new site's name has the typing, Enter is "存入".
  type_text "$site_name"
  store_by_enter "$kind" "$dir"
  say "$kind: 7 records stored by keyboard into the new site $site_name"

  archive_report "$kind" "$dir"
  app_quit "$kind archive" "$log"
  [ -f "$dir/pkg/kr3090-archive.sqlite" ] || fail "$kind: no kr3090-archive.sqlite beside the program"
  archive_records "$dir/pkg/kr3090-archive.sqlite" >"$dir/records.txt" ||
    fail "$kind: kr3090-archive.sqlite does not hold the store"
  say "$kind: kr3090-archive.sqlite (python's sqlite3): integrity ok, one site $site_name," \
    "one campaign of $(head -n1 "$dir/records.txt") with $(($(wc -l <"$dir/records.txt") - 1)) records"
}

# archive_records FILE: the archive file read with python's own sqlite3, not
# the program's code; fails unless it is a sound SQLite file holding one site
# named $site_name with one campaign of 7 records. Prints the campaign's date,
# then each record as the instrument sent it (number, time, frequency, the
# bits of U, I and Φ, Rm), one a line.
archive_records() {
  python3 - "$1" "$site_name" <<'PY'
import sqlite3, sys
path, site = sys.argv[1:3]
db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
rows = lambda sql: db.execute(sql).fetchall()
check = rows("PRAGMA integrity_check")
if check != [("ok",)]: sys.exit("integrity check: %r" % check)
sites = rows("SELECT id, name FROM sites")
campaigns = rows("SELECT c.site_id, c.test_date, count(r.id) FROM campaigns c"
                 " LEFT JOIN records r ON r.campaign_id = c.id GROUP BY c.id")
if len(sites) != 1 or sites[0][1] != site: sys.exit("sites: %r" % sites)
if len(campaigns) != 1 or campaigns[0][0] != sites[0][0] or campaigns[0][2] != 7:
    sys.exit("campaigns (site, date, records): %r" % campaigns)
print(campaigns[0][1])
for r in rows("SELECT number, time_year, time_month, time_day, time_hour, time_minute,"
              " time_second, frequency, u_bits, i_bits, phi_bits, rm_on FROM records"
              " ORDER BY number"):
    print(*r)
PY
}

# ---- the team's server: both programs store into one site over verified TLS

# team_session linux|windows store|view: the program with its archive on a
# team's PostgreSQL server ($team, scripts/team-server-test.sh: TCP on this
# machine, verified TLS, the password from PGPASSFILE as libpq reads it).
# "store" stores the simulator's seven records by keyboard: into a new site
# when the server has none, else into a new campaign of the site, which Down
# picks in the site box that has the typing. Then "档案" prints the newest
# campaign's report, whose history table lists the site's campaigns: the
# campaigns on the server as this program reads them, into DIR/report.txt.
team_session() {
  local kind=$1 what=$2 dir=$out/$1/team-$2 log root_cert eol=$'\n'
  rm -rf "$dir"
  mkdir -p "$dir"
  ln -sfn "$(realpath "$out/$kind/pkg")" "$dir/pkg"
  root_cert=$team/ca.crt
  if [ "$kind" = windows ]; then root_cert=$(winpath "$root_cert") eol=$'\r\n'; fi
  app_config_extra=$(printf '[Archive]%sDriver=PostgreSQL%sHost=localhost%sPort=%s%sDatabase=kr3090%sUser=kr3090%sSslMode=verify-full%sSslRootCert=%s%s' \
    "$eol" "$eol" "$eol" "$team_port" "$eol" "$eol" "$eol" "$eol" "$root_cert" "$eol")
  sim_up "$dir" --seed "$seed" --verbose
  log=$dir/sim.log
  app_up "$kind" "$dir"
  app_config_extra=""
  click 53 20  # 连接设备
  wait_count "$log" 'reply 24 A1 AA' 1 30 "$kind team: connect reply"
  if [ "$what" = store ]; then
    open_store "$kind team" "$log"
    if [ "$(team_sql 'SELECT count(*) FROM sites')" = 0 ]; then
      type_text "$site_name"
    else
      xdotool key Down
    fi
    sleep 0.5
    shot "$dir/store.png"
    store_by_enter "$kind team" "$dir"
    say "$kind: 7 records stored by keyboard over verified TLS into the team's server:" \
      "$(team_sql "SELECT s.name || ': ' || count(DISTINCT c.id) || ' campaigns, ' || count(r.id) || ' records' FROM sites s JOIN campaigns c ON c.site_id = s.id JOIN records r ON r.campaign_id = c.id GROUP BY s.name")"
  fi
  archive_report "$kind team" "$dir"
  app_quit "$kind team archive" "$log"
}

# team_sessions KIND...: a team server of its own; each program stores into
# it in turn (the first makes the site, the others add campaigns to it), then
# the first one again only reads it. Each program's report of the newest
# campaign must list all the campaigns, and the server (psql) hold each
# program's seven records once per campaign.
team_sessions() {
  local kind n=0 d
  team=$(mktemp -d /tmp/kr3090-e2e-team-XXXXXX)
  scripts/team-server-test.sh start "$team" tls >/dev/null
  team_port=$(awk '{ print $2 }' "$team/tcp")
  for kind in "$@"; do
    n=$((n + 1))
    if [ "$kind" = windows ]; then
      PGPASSFILE=$(winpath "$team/pgpass") team_session "$kind" store
    else
      PGPASSFILE=$team/pgpass team_session "$kind" store
    fi
    [ "$(team_sql 'SELECT count(*) FROM campaigns')" = $n ] ||
      fail "$kind team: the server holds $(team_sql 'SELECT count(*) FROM campaigns') campaigns, not $n"
  done
  PGPASSFILE=$team/pgpass team_session "$1" view
  for d in "$out/${!#}/team-store" "$out/$1/team-view"; do
    [ "$(team_campaigns "$d")" = $n ] ||
      fail "${d#"$out"/}: the report's history lists $(team_campaigns "$d") campaigns, not $n"
  done
  say "team server: the newest campaign's report lists all $n campaigns from each program; the server" \
    "(psql): $(team_sql "SELECT count(*) FROM campaigns") campaigns, $(team_sql "SELECT count(*) FROM records") records"
  scripts/team-server-test.sh remove "$team"
  team=""
}

# team_sql SQL: one value from the team's server, by the server's own psql.
team_sql() {
  env PGPASSFILE="$team/pgpass" psql -h "$team" -p "$team_port" -U kr3090 -d kr3090 -tAq -c "$1" 2>/dev/null || echo "?"
}

# team_campaigns DIR: the history table's rows in DIR/report.txt: lines that
# begin with a date and hold the campaign's count of records, 7.
team_campaigns() { grep -c -E '^ *[0-9]{4}-[0-9]{2}-[0-9]{2} .* 7 ' "$1/report.txt" || true; }

play linux
archive_session linux
if [ "$linux_only" = 1 ]; then
  team_sessions linux linux
  say "Linux session only: files in $out/linux/files"
  exit 0
fi
wine_prefix_up
wine_used=1
# A .txt file opens in Notepad on every Windows PC, and .csv is known where a
# spreadsheet program is installed (the save dialog then keeps a typed ".csv"
# instead of adding ".txt"); a new wine prefix lacks both.
"$WINE" reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1
"$WINE" reg add 'HKCR\.csv' /ve /d csvfile /f >/dev/null 2>&1
play windows
archive_session windows

# Both programs on one team server, when the zip carries its driver.
if unzip -l "$zip" | grep '/sqldrivers/qsqlpsql\.dll$' >/dev/null; then
  team_sessions linux windows
else
  say "team server: not run, the zip has no qsqlpsql.dll (scripts/windows-libpq.sh builds it)"
fi

# ---- the zip in a folder no user may write, as under Program Files

# main_window: the client window of the main window (the one probe reports).
main_window() { "$probe" window "$title" 60000 | awk '{ print $2 }'; }
read_only_session() {
  local dir=$out/windows-read-only pkg appdata box dialog config
  rm -rf "$dir"
  mkdir -p "$dir"
  unzip -q "$zip" -d "$dir/zip"
  pkg=$(dirname "$(find "$dir/zip" -name kr3090.exe | head -n1)")
  appdata=$("$WINE" winepath -u "$("$WINE" cmd /c echo %APPDATA% | tr -d '\r')" | tr -d '\r')
  config=$appdata/kr3090/Config.ini
  rm -rf "$appdata/kr3090"
  # Read-only for root too (wine runs as root here): a read-only bind mount.
  mount --bind "$pkg" "$pkg"
  read_only_mount=$pkg
  mount -o remount,bind,ro "$pkg"
  sim_up "$dir" --records 3 --verbose
  wine_com_port 5 "$sim_device"
  start_read_only() {
    (cd "$pkg" && exec env LANG="$wine_lang" LC_ALL="$wine_lang" LOCPATH="$locale_dir" \
      WINEDEBUG=-all "$WINE" kr3090.exe 2>>"$dir/wine.log") &
    app_pid=$!
    pids+=("$app_pid")
  }

  start_read_only
  # No Config.ini anywhere: COM1, which the prefix may or may not open.
  if box=$(message_box 20); then
    shot "$dir/first-start.png"
    dismiss "$box"
  fi
  app_window=$(main_window) || fail "read-only: no window"
  sleep 1
  click 135 20  # 通讯设置
  dialog=$("$probe" window 通讯设置 20000 | awk '{ print $2 }') || fail "read-only: no settings dialog"
  xdotool mousemove --window "$dialog" 168 34 click 1
  xdotool key ctrl+a
  xdotool type --delay 30 COM5
  xdotool mousemove --window "$dialog" 77 202 click 1  # 保存
  box=$(message_box 10) || fail "read-only: no confirmation of the save"
  shot "$dir/saved.png"
  dismiss "$box"
  xdotool mousemove --window "$dialog" 177 202 click 1  # 关闭: COM5 is opened
  "$probe" gone 通讯设置 10000 || fail "read-only: the settings dialog stayed"
  ! box=$(message_box 3) || { shot "$dir/unexpected.png"; fail "read-only: a message after the save"; }
  [ -f "$config" ] || fail "read-only: no $config"
  grep -q $'^ComName=COM5\r$' "$config" || fail "read-only: $config holds: $(cat -A "$config")"
  [ -z "$(find "$pkg" -newer "$dir/zip" -type f)" ] || fail "read-only: files appeared beside kr3090.exe"
  click 549 20  # 退出
  wait "$app_pid" 2>/dev/null || true

  # The next start reads %APPDATA%: COM5 opens without a word.
  start_read_only
  app_window=$(main_window) || fail "read-only: no window at the next start"
  sleep 1
  ! box=$(message_box 2) || { shot "$dir/unexpected.png"; fail "read-only: a message at the next start"; }
  click 53 20  # 连接设备
  wait_count "$dir/sim.log" 'reply 24 A1 AA' 1 30 "read-only: connect reply over COM5"
  shot "$dir/connected.png"
  click 549 20  # 退出
  wait "$app_pid" 2>/dev/null || true
  kill "$SIM_PID" 2>/dev/null || true
  umount "$pkg"
  read_only_mount=""
  say "read-only folder: the settings went to %APPDATA%\\kr3090\\Config.ini and were read back"
}
read_only_mount=""
trap 'e2e_cleanup; [ -z "$read_only_mount" ] || umount "$read_only_mount"' EXIT
read_only_session

# ---- the comparison
status=0
# same_but_last_bits A B: spreadsheet rows that are the same but for Z, R and X
# in their last bits: the impedance takes cos and sin from the platform's
# library, and Windows' differs from glibc's in the last bit now and then
# (the text files, cut to four digits, do not show it). Says how many cells.
same_but_last_bits() {
  python3 - "$1" "$2" <<'PY'
import math, sys
a, b = (open(f, "rb").read().split(b"\r\n") for f in sys.argv[1:3])
if len(a) != len(b): sys.exit(1)
near = 0
for x, y in zip(a, b):
    fx, fy = x.split(b","), y.split(b",")
    if len(fx) != len(fy): sys.exit(1)
    for k, (p, q) in enumerate(zip(fx, fy)):
        if p == q: continue
        if k not in (7, 8, 9) or abs(float(p) - float(q)) > 2 * math.ulp(float(p)): sys.exit(1)
        near += 1
print("%d values of Z, R or X in their last bit" % near)
PY
}
date_line=$'^Date\xa3\xba[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\r$'
for kind in linux windows; do
  f=$out/$kind/files/live.txt
  [ "$(LC_ALL=C grep -c -a -E "$date_line" "$f")" = 1 ] || { echo "$kind: live.txt has no single Date： line" >&2; status=1; }
  LC_ALL=C grep -v -a -E "$date_line" "$f" >"$out/$kind/files/live-without-date.txt"
done
for name in live-without-date.txt record.txt upload.txt record.csv upload.csv; do
  a=$out/linux/files/$name
  b=$out/windows/files/$name
  if cmp -s "$a" "$b"; then
    say "same: $name ($(wc -c <"$a") bytes, $(crlf_lines "$a") lines)"
  elif [ "${name##*.}" = csv ] && near=$(same_but_last_bits "$a" "$b"); then
    say "same: $name but $near"
  else
    status=1
    echo "DIFFERENT: $name (Linux $(wc -c <"$a") bytes, Windows $(wc -c <"$b") bytes)" >&2
    cmp "$a" "$b" >&2 || true
    diff <(iconv -c -f GBK -t UTF-8 "$a") <(iconv -c -f GBK -t UTF-8 "$b") | head -n 20 >&2 || true
  fi
done
for kind in linux windows; do
  sed -n 's/^[0-9.]* kr3090-sim: \(request .*\)/\1/p' "$out/$kind/sim.log" | uniq >"$out/$kind/requests.txt"
done
if diff -q "$out/linux/requests.txt" "$out/windows/requests.txt" >/dev/null; then
  say "same requests to the instrument ($(wc -l <"$out/linux/requests.txt") after merging repeated polls)"
else
  status=1
  echo "DIFFERENT requests to the instrument:" >&2
  diff "$out/linux/requests.txt" "$out/windows/requests.txt" | head -n 20 >&2 || true
fi
# The archive and the campaign's report. Both archives must hold the same
# records as the instrument sent them (Z, R and X, worked out with each
# platform's cos and sin, aside), and both reports the same text as laid out
# on the page, but for spacing (each platform places the glyphs by its own
# font metrics) and the campaign's date (the day each program stored it).
# report_flat REPORT DATE: the text without spaces and line ends, a page a line.
report_flat() { LC_ALL=C sed "s/$2/<date>/g" "$1" | tr -d ' \n' | tr '\f' '\n'; }
a=$out/linux/archive
b=$out/windows/archive
if cmp -s <(tail -n +2 "$a/records.txt") <(tail -n +2 "$b/records.txt"); then
  say "same: the archives' $(($(wc -l <"$a/records.txt") - 1)) records (number, time, frequency, bits of U, I and Φ, Rm)"
else
  status=1
  echo "DIFFERENT: the archives' records (Linux <, Windows >)" >&2
  diff "$a/records.txt" "$b/records.txt" | head -n 20 >&2 || true
fi
if cmp -s <(report_flat "$a/report.txt" "$(head -n1 "$a/records.txt")") \
  <(report_flat "$b/report.txt" "$(head -n1 "$b/records.txt")"); then
  say "same: the campaign's report, $(grep -c $'\f' "$a/report.txt") pages of text ($(report_flat "$a/report.txt" x | wc -m)" \
    "characters; pdftotext -layout of the PDF job from Linux and of the PostScript job from wine" \
    "through ghostscript, compared without spaces and line ends, with the campaign's date and the ohm sign as Ω)"
else
  status=1
  echo "DIFFERENT: the campaign's report (Linux <, Windows >, spaces squeezed)" >&2
  diff <(tr -s ' ' <"$a/report.txt") <(tr -s ' ' <"$b/report.txt") | head -n 20 >&2 || true
fi
say "screenshots: $out/{linux,windows}/{ctrl,history,comp,freq-analysis}.png," \
  "$out/windows-read-only/*.png; printed pages: $out/*/print.png"
say "archive screenshots: $out/{linux,windows}/archive/{store,stored,archive}.png; printed report: $out/*/archive/report-page1.png"
say "wall time $((SECONDS - started)) s"
[ $status = 0 ] && say "PASS" || echo "windows-e2e: FAIL: the Windows files differ from the Linux build's" >&2
exit $status
