# shellcheck shell=bash
# Sourced by the measuring scripts, after scripts/lib/common.sh: openbox on
# the current display (on a virtual display of its own when there is none),
# kr3090-sim on a pseudo-terminal, and a work folder holding a copy of kr3090
# with its own Config.ini pointing at the simulator. Sets: root, work, device,
# sim, wm_pid (and xvfb_pid with a display of its own), app (empty until the
# caller starts the program). Everything goes on exit.
# Needs a built tree (cmake --build --preset default --target kr3090 kr3090-sim).
# shellcheck disable=SC2154 # wm_pid: set by wm_up or display_up (common.sh)

root=$(pwd)
work=$(mktemp -d)
xvfb_pid=""
if [ -n "${DISPLAY:-}" ]; then wm_up; else display_up; fi
coproc SIM { exec "$root/build/sim/kr3090-sim"; }
sim=$SIM_PID
app=""
cleanup() {
  if [ -n "$app" ]; then kill "$app" 2>/dev/null || true; fi
  kill "$sim" "$wm_pid" 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
read -r device <&"${SIM[0]}"
cp "$root/build/app/kr3090" "$work/kr3090"
printf '[Config]\nComName=%s\n' "$device" >"$work/Config.ini"

# Presses "连接设备" ((16, 8) on the toolbar, 75 x 25) in window $1 and waits
# for the instrument's connect reply in the trace.
connect_program() {
  xdotool mousemove --window "$1" 50 20 click 1
  for _ in $(seq 50); do grep -q '^kr3090.trace: 收到 24 A1 AA' "$work/trace.log" && break; sleep 0.1; done
  grep -q '^kr3090.trace: 收到 24 A1 AA' "$work/trace.log" || { echo "not connected" >&2; exit 1; }
}
