#!/usr/bin/env bash
# Performance of kr3090.exe under wine with the Linux build's figures of the
# same run beside it, on one virtual desktop (Xvfb 1280x1024x24, openbox):
#   - launch to window shown (mapped and painted), three launches, median;
#     for wine also one cold launch with no wineserver running,
#   - reply-to-label latency, from outside: winee2e-probe plays the instrument,
#     writes a live reading with a new voltage and times the U label's pixels
#     changing (READINGS readings, at varying phases of the 100 ms poll),
#   - CPU while polling with a test running (the labels repaint on every
#     reply) over SECONDS, of the program and, under wine, of its wineserver,
#   - memory after that: the program's resident set and proportional set
#     (Pss), and under wine the Pss of all processes of the prefix
#     (wineserver, services, explorer ...),
#   - a 100-record upload with the simulator paced as a UART at 115200 baud:
#     from the request reaching the instrument to the 1600th line in the file,
#     against the wire time of the 101 replies (26 bytes, 10 bits a byte).
# Ratios are Windows / Linux, measured in this one run.
#
#   scripts/measure-windows.sh [--zip PATH] [--seconds N] [--readings N] [--linux-only]
#
# Needs what scripts/windows-e2e.sh needs. Takes about 3 minutes + 2 x SECONDS.
set -euo pipefail
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/lib/common.sh"
bounded 1800 60 "$@"
cd "$(dirname "$0")/.."
root=$(pwd)

zip=$root/build-windows/kr3090-win64.zip
seconds=30
readings=100
linux_only=0
while [ $# -gt 0 ]; do
  case "$1" in
    --zip) zip=$(realpath "$2"); shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --readings) readings=$2; shift 2 ;;
    --linux-only) linux_only=1; shift ;;
    *) echo "usage: $0 [--zip PATH] [--seconds N] [--readings N] [--linux-only]" >&2; exit 2 ;;
  esac
done
out=$root/build-windows/measure
started=$SECONDS

source scripts/lib/wine-env.sh
source tests/winee2e/session.sh
trap e2e_cleanup EXIT
trap 'echo "measure-windows: stopped (time limit or signal)" >&2; exit 1' TERM INT

[ "$linux_only" = 1 ] || [ -f "$zip" ] || fail "no $zip (scripts/windows-build.sh writes it)"
cmake --build build --target kr3090 kr3090-sim winee2e-probe >/dev/null || fail "Linux build failed"
rm -rf "$out"
mkdir -p "$out/linux/pkg" "$out/windows" "$out/linux/bin" "$out/windows/bin"
cp build/app/kr3090 "$out/linux/pkg/"
printf '#!/bin/sh\n' >"$out/linux/bin/xdg-open"
chmod +x "$out/linux/bin/xdg-open"
[ "$linux_only" = 1 ] || unzip -q "$zip" -d "$out/windows/zip"
[ "$linux_only" = 1 ] || ln -sfn "$(dirname "$(find "$out/windows/zip" -name kr3090.exe | head -n1)")" "$out/windows/pkg"
wine_locale_up
cups_server=/nonexistent  # nothing is printed here
wine_lang=zh_CN.UTF-8
# Nobody watches the debug channel: OutputDebugStringA costs what it costs on Windows.
app_winedebug=-all
desktop_up
wine_prefix_up
wine_used=1

ticks=$(getconf CLK_TCK)
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'; }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
# The processes of this wine prefix, its wineserver included: wine's own
# programs with the prefix in their environment (the desktop and the
# simulator, started from here, carry it too).
prefix_pids() {
  local p
  for p in /proc/[0-9]*; do
    case "$(readlink "$p/exe" 2>/dev/null)" in */wine/*) ;; *) continue ;; esac
    grep -qxz "WINEPREFIX=$WINEPREFIX" "$p/environ" 2>/dev/null && echo "${p#/proc/}"
  done
}
# Proportional set size: shared pages (wine's and Qt's DLLs) counted once in a sum.
pss_kb() { awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup"; }
wineserver_pid() {
  local p
  for p in $(prefix_pids); do
    case "$(cat "/proc/$p/comm")" in wineserver*) echo "$p"; return ;; esac
  done
}
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

quit_program() {
  click 549 20  # 退出
  local end=$((SECONDS + 30))
  while alive "$app_pid" && [ $SECONDS -lt $end ]; do sleep 0.1; done
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
}

declare -A fig

measure() {
  local kind=$1 dir=$out/$1 launches=()
  say "$kind: latency against the probe ($readings readings)"
  # U label's band of the reading area (client coordinates, both builds).
  coproc PROBE { exec "$probe" latency "$title" "$readings" 364 240 816 220; }
  pids+=("$PROBE_PID")
  read -r -t 10 sim_device <&"${PROBE[0]}" || fail "the probe did not start"
  app_up "$kind" "$dir"
  launches+=("$launch_ms")
  click 53 20  # 连接设备
  cat <&"${PROBE[0]}" >"$dir/latency.txt"
  grep -q '^latency ms:' "$dir/latency.txt" || fail "$kind: the latency probe failed"
  local m a w
  read -r _ _ _ m _ a _ w < <(grep '^latency ms:' "$dir/latency.txt")
  fig[$kind.lat_median]=$m
  fig[$kind.lat_mean]=$a
  fig[$kind.lat_worst]=$w
  quit_program

  say "$kind: polling with a test running, $seconds s"
  sim_up "$dir" --records 100 --seed 12 --verbose
  app_up "$kind" "$dir"
  launches+=("$launch_ms")
  click 53 20
  wait_count "$dir/sim.log" 'reply 24 A1 AA' 1 30 "$kind: connect"
  click 136 357  # 开  始  测  试
  sleep 2
  local server="" c0 s0 c1 s1 t0 t1 polls0 polls1
  [ "$kind" = windows ] && server=$(wineserver_pid)
  c0=$(cpu_ticks "$app_pid")
  s0=$([ -n "$server" ] && cpu_ticks "$server" || echo 0)
  polls0=$(count "$dir/sim.log" 'request 24 A1 DD')
  t0=$EPOCHREALTIME
  sleep "$seconds"
  c1=$(cpu_ticks "$app_pid")
  s1=$([ -n "$server" ] && cpu_ticks "$server" || echo 0)
  polls1=$(count "$dir/sim.log" 'request 24 A1 DD')
  t1=$EPOCHREALTIME
  fig[$kind.polls]=$((polls1 - polls0))
  fig[$kind.cpu]=$(awk -v c=$((c1 - c0)) -v k="$ticks" -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", 100 * c / k / (b - a) }')
  fig[$kind.cpu_server]=$(awk -v c=$((s1 - s0)) -v k="$ticks" -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", 100 * c / k / (b - a) }')
  fig[$kind.rss]=$(rss_kb "$app_pid")
  fig[$kind.pss]=$(pss_kb "$app_pid")
  fig[$kind.pss_all]=${fig[$kind.pss]}
  if [ "$kind" = windows ]; then
    local sum=0 p list=""
    for p in $(prefix_pids); do
      sum=$((sum + $(pss_kb "$p" || echo 0)))
      list+="$(cat "/proc/$p/comm") $(($(pss_kb "$p" || echo 0) / 1024)) MB, "
    done
    fig[$kind.pss_all]=$sum
    say "windows: proportional memory of the prefix's processes: ${list%, }"
  fi
  quit_program
  kill "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" 2>/dev/null || true

  say "$kind: 100-record upload at 115200 baud"
  mkdir -p "$dir/files"
  sim_up "$dir" --records 100 --seed 12 --verbose --pace 115200
  app_up "$kind" "$dir"
  launches+=("$launch_ms")
  click 53 20
  wait_count "$dir/sim.log" 'reply 24 A1 AA' 1 30 "$kind: connect"
  click 136 185  # 历  史  数  据
  wait_count "$dir/sim.log" 'reply 24 A1 C3 14 64 65' 1 30 "$kind: directory"
  notice_gone
  click 136 185  # 上传历史数据
  local file=$dir/files/upload.txt typed=$dir/files/upload.txt
  [ "$kind" = windows ] && typed="Z:${file//\//\\}"
  answer_dialog "$typed"
  local end=$((SECONDS + 60)) done_at=""
  while [ $SECONDS -lt $end ]; do
    if [ "$(crlf_lines "$file")" -ge 1600 ]; then done_at=$EPOCHREALTIME; break; fi
    sleep 0.002
  done
  [ -n "$done_at" ] || fail "$kind: the upload did not complete"
  local asked
  asked=$(grep -m1 'request 24 A1 C6' "$dir/sim.log" | cut -d' ' -f1)
  fig[$kind.upload]=$(awk -v a="$asked" -v b="$done_at" 'BEGIN { printf "%.0f", (b - a) * 1000 }')
  quit_program
  kill "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" 2>/dev/null || true

  fig[$kind.launch]=$(printf '%s\n' "${launches[@]}" | median)
  fig[$kind.launches]="${launches[*]}"
}

mkdir -p "$out/linux/files"
measure linux
if [ "$linux_only" = 1 ]; then
  declare -p fig
  exit 0
fi
measure windows
# A cold start: the first program after the wineserver has gone.
wine_prefix_down
for _ in $(seq 50); do [ -z "$(wineserver_pid)" ] && break; sleep 0.1; done
coproc SIM { exec "$root/build/sim/kr3090-sim"; }
pids+=("$SIM_PID")
read -r -t 10 sim_device <&"${SIM[0]}"
app_up windows "$out/windows"
fig[windows.cold]=$launch_ms
quit_program
wine_prefix_down

wire=$(awk 'BEGIN { printf "%.0f", 101 * 26 * 10 / 115200 * 1000 }')
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0) printf "%.2f", b / a; else print "-" }'; }
row() { printf '| %s | %s | %s | %s |\n' "$1" "$2" "$3" "$(ratio "$4" "$5")"; }
{
  echo "| measure | Linux | Windows (wine 8) | Windows / Linux |"
  echo "|---|---|---|---|"
  row "launch to window shown, median of 3 (ms)" "${fig[linux.launch]} (${fig[linux.launches]})" \
    "${fig[windows.launch]} (${fig[windows.launches]})" "${fig[linux.launch]}" "${fig[windows.launch]}"
  printf '| launch, no wineserver running (ms) | - | %s | - |\n' "${fig[windows.cold]}"
  row "reply to label, median (ms)" "${fig[linux.lat_median]}" "${fig[windows.lat_median]}" "${fig[linux.lat_median]}" "${fig[windows.lat_median]}"
  row "reply to label, mean (ms)" "${fig[linux.lat_mean]}" "${fig[windows.lat_mean]}" "${fig[linux.lat_mean]}" "${fig[windows.lat_mean]}"
  row "reply to label, worst (ms)" "${fig[linux.lat_worst]}" "${fig[windows.lat_worst]}" "${fig[linux.lat_worst]}" "${fig[windows.lat_worst]}"
  row "CPU while polling, program (% of one core, ${seconds} s)" "${fig[linux.cpu]}" "${fig[windows.cpu]}" "${fig[linux.cpu]}" "${fig[windows.cpu]}"
  printf '| CPU while polling, wineserver (%% of one core) | - | %s | - |\n' "${fig[windows.cpu_server]}"
  printf '| polls answered in those %s s | %s | %s | - |\n' "$seconds" "${fig[linux.polls]}" "${fig[windows.polls]}"
  row "resident memory, program process (MB)" "$((${fig[linux.rss]} / 1024))" "$((${fig[windows.rss]} / 1024))" "${fig[linux.rss]}" "${fig[windows.rss]}"
  row "proportional memory (Pss), program process (MB)" "$((${fig[linux.pss]} / 1024))" "$((${fig[windows.pss]} / 1024))" "${fig[linux.pss]}" "${fig[windows.pss]}"
  row "Pss with all processes of the wine prefix (MB)" "$((${fig[linux.pss_all]} / 1024))" "$((${fig[windows.pss_all]} / 1024))" "${fig[linux.pss_all]}" "${fig[windows.pss_all]}"
  row "100-record upload at 115200, request to last line in the file (ms)" "${fig[linux.upload]}" "${fig[windows.upload]}" "${fig[linux.upload]}" "${fig[windows.upload]}"
  printf '| upload / wire time (%s ms) | %s | %s | - |\n' "$wire" "$(ratio "$wire" "${fig[linux.upload]}")" "$(ratio "$wire" "${fig[windows.upload]}")"
} | tee "$out/figures.md"
say "measure-windows: $((SECONDS - started)) s; logs in $out"
