#!/usr/bin/env bash
# Stress run: kr3090-sim sends a live reading every 10 ms, unasked, with faults
# on the line (chunks, safe noise, wrong checksums, unknown frames, dropped
# replies), while kr3090_stress runs the real window against it, polling,
# with the History page opened and left again in a loop.
#
# Checks: no crash of either side, resident memory growth under 10 % (from the
# end of the first minute to the end), and every frame the simulator put on the
# line handed to the window (frames sent = replies + unknown-type frames in the
# simulator's log; dropped replies are never sent).
#
# Usage: scripts/stress.sh [seconds=600] [seed=1]
# It uses about a core; run it with nice. Output and logs stay in a temp
# folder whose name is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-600}
seed=${2:-1}

cmake --preset default >/dev/null
cmake --build --preset default --target kr3090-sim kr3090_stress >/dev/null

work=$(mktemp -d /tmp/kr3090-stress.XXXXXX)
echo "stress.sh: ${seconds} s, seed ${seed}, logs in $work"
coproc SIM {
  exec "$root/build/sim/kr3090-sim" --seed "$seed" --push-interval-ms 10 \
    --chunks --chunk-gap-ms 2 --noise 0.3 --bad-checksum 0.1 --unknown-frames 0.1 \
    --drop 0.05 --verbose 2>"$work/sim.log"
}
sim=$SIM_PID
trap 'kill "$sim" 2>/dev/null || true' EXIT
read -r -t 10 device <&"${SIM[0]}" || { echo "stress.sh: the simulator did not start" >&2; exit 1; }

status=0
QT_QPA_PLATFORM=offscreen "$root/build/tests/e2e/kr3090_stress" --device "$device" \
  --seconds "$seconds" 2>"$work/stress.err" | tee "$work/stress.out" || status=$?
sim_alive=yes
kill -0 "$sim" 2>/dev/null || sim_alive=no
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
trap - EXIT

replies=$(grep -c '^kr3090-sim: reply ' "$work/sim.log" || true)
unknown=$(grep -c '^kr3090-sim: fault: frame of unknown type' "$work/sim.log" || true)
dropped=$(grep -c '^kr3090-sim: fault: dropped' "$work/sim.log" || true)
badsum=$(grep -c '^kr3090-sim: fault: wrong checksum' "$work/sim.log" || true)
lost=$(grep -c '^kr3090-sim: write failed' "$work/sim.log" || true)
live_sent=$(grep -c '^kr3090-sim: reply 24 A1 DD' "$work/sim.log" || true)
sent=$((replies + unknown))
read -r _ handled _ live _ directory _ other < <(grep '^handled ' "$work/stress.out" || echo "handled 0 live 0 directory 0 other 0")
read -r _ rss_start _ rss_end < <(grep '^rss-start ' "$work/stress.out" || echo "rss-start 0 rss-end 0")

echo "---- stress.sh summary"
echo "duration:            ${seconds} s"
echo "harness exit status: $status (simulator still running at the end: $sim_alive)"
echo "frames sent:         $sent (replies $replies, of them live $live_sent; unknown-type $unknown)"
echo "faults:              dropped $dropped (not sent), wrong checksum $badsum, write failures $lost"
echo "frames handled:      $handled (live $live, directory $directory, unknown-type $other)"
echo "resident memory:     ${rss_start} kB after the first minute, ${rss_end} kB at the end"
fail=0
[ "$status" -eq 0 ] || { echo "FAIL: the harness ended with status $status"; fail=1; }
[ "$sim_alive" = yes ] || { echo "FAIL: the simulator died"; fail=1; }
[ "$handled" -eq "$sent" ] || { echo "FAIL: $sent frames sent, $handled handled"; fail=1; }
[ "$live" -eq "$live_sent" ] || { echo "FAIL: $live_sent live frames sent, $live handled"; fail=1; }
if [ "$rss_start" -gt 0 ]; then
  awk -v a="$rss_start" -v b="$rss_end" 'BEGIN { printf "memory growth:       %.1f %%\n", 100 * (b - a) / a }'
  awk -v a="$rss_start" -v b="$rss_end" 'BEGIN { exit !(b > a * 1.10) }' &&
    { echo "FAIL: resident memory grew by more than 10 %"; fail=1; }
fi
[ "$fail" -eq 0 ] && echo "PASS"
exit "$fail"
