#!/usr/bin/env bash
# CPU use of the program while its device is gone. The real kr3090 runs on a
# virtual display with openbox against kr3090-sim, connects ("连接设备") and
# starts a test, so it polls; then the simulator is killed (SIGKILL, as when
# the adapter is pulled: the program's end of the line is hung up) and the
# program's CPU time is measured over the given seconds, in total and per
# thread. Target: under 2 % of one core.
#
# Usage: scripts/measure-vanish.sh [seconds=30]
# (on a virtual display of its own when there is no display)
# Needs a built tree (cmake --build --preset default --target kr3090 kr3090-sim).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

source scripts/lib/common.sh
source scripts/lib/desktop-session.sh
(cd "$work" && exec ./kr3090 --trace 2>"$work/trace.log") &
app=$!
wid=$(xdotool search --sync --onlyvisible --name '大地网接地参数综合测试仪' | head -n1)

connect_program "$wid"
sleep 2
echo "device: $device; connected, polling"

kill -KILL "$sim"
wait "$sim" 2>/dev/null || true
sleep 2  # the last replies in flight are gone

ticks=$(getconf CLK_TCK)
declare -A before
for t in "/proc/$app/task/"*; do
  before[${t##*/}]=$(awk '{print $14 + $15}' "$t/stat")
done
c0=$(awk '{print $14 + $15}' "/proc/$app/stat"); t0=$(date +%s.%N)
sent0=$(grep -c '^kr3090.trace: 发送' "$work/trace.log" || true)
sleep "$seconds"
c1=$(awk '{print $14 + $15}' "/proc/$app/stat"); t1=$(date +%s.%N)
sent1=$(grep -c '^kr3090.trace: 发送' "$work/trace.log" || true)
kill -0 "$app" 2>/dev/null || { echo "FAIL: the program died" >&2; exit 1; }

echo "device gone for ${seconds} s; polls written to the gone device meanwhile: $((sent1 - sent0))"
for t in "/proc/$app/task/"*; do
  tid=${t##*/}
  c=$(awk '{print $14 + $15}' "$t/stat")
  awk -v n="$(cat "$t/comm")" -v id="$tid" -v c="$((c - ${before[$tid]:-0}))" -v k="$ticks" \
    -v a="$t0" -v b="$t1" 'BEGIN { printf "  thread %-7s %-16s %6.2f %% of one core\n", id, n, 100 * c / k / (b - a) }'
done
pct=$(awk -v c="$((c1 - c0))" -v k="$ticks" -v a="$t0" -v b="$t1" \
  'BEGIN { printf "%.2f", 100 * c / k / (b - a) }')
echo "CPU of the program with the device gone: $pct % of one core (target < 2 %)"
echo "resident memory: $(awk '/VmRSS/ {print $2, $3}' /proc/$app/status)"
if awk -v p="$pct" 'BEGIN { exit !(p < 2) }'; then echo PASS; else echo FAIL; exit 1; fi
