#!/usr/bin/env bash
# Measures the program on a virtual display with openbox, against the simulator:
#   - time from launch to the main window shown (mapped and visible),
#   - resident memory after a minute of polling while connected,
#   - CPU use of the program over that minute.
# Usage: xvfb-run -a -s "-screen 0 1280x1024x24" scripts/measure-window.sh [seconds]
# Needs a built tree (cmake --build --preset default --target kr3090 kr3090-sim).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ -n "${DISPLAY:-}" ] || { echo "measure-window.sh: run it under xvfb-run" >&2; exit 1; }

source scripts/lib/common.sh
source scripts/lib/desktop-session.sh

start=$(date +%s.%N)
(cd "$work" && exec ./kr3090 --trace 2>"$work/trace.log") &
app=$!
wid=$(xdotool search --sync --onlyvisible --name '大地网接地参数综合测试仪' | head -n1)
shown=$(date +%s.%N)
awk -v a="$start" -v b="$shown" 'BEGIN { printf "launch to window shown: %.0f ms\n", (b - a) * 1000 }'

connect_program "$wid"

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$app/stat"; }
c0=$(cpu); t0=$(date +%s.%N)
sleep "$seconds"
c1=$(cpu); t1=$(date +%s.%N)
polls=$(grep -c '^kr3090.trace: 发送 24 A1 DD' "$work/trace.log" || true)
echo "polls sent in ${seconds} s: $polls"
echo "resident memory after ${seconds} s of polling: $(awk '/VmRSS/ {print $2, $3}' /proc/$app/status)"
awk -v c="$((c1 - c0))" -v k="$ticks" -v a="$t0" -v b="$t1" \
  'BEGIN { printf "CPU while polling: %.2f %% of one core\n", 100 * c / k / (b - a) }'
