# Sourced by the measuring scripts: openbox on the current display, kr3090-sim
# on a pseudo-terminal, and a work folder holding a copy of kr3090 with its own
# Config.ini pointing at the simulator. Sets: root, work, device, sim, wm, app
# (empty until the caller starts the program). Everything goes on exit.
# Needs a built tree (cmake --build --preset default --target kr3090 kr3090-sim).

root=$(pwd)
work=$(mktemp -d)
openbox >/dev/null 2>&1 &
wm=$!
coproc SIM { exec "$root/build/sim/kr3090-sim"; }
sim=$SIM_PID
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$sim" "$wm" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
read -r device <&"${SIM[0]}"
sleep 1  # openbox up
cp "$root/build/app/kr3090" "$work/kr3090"
printf '[Config]\nComName=%s\n' "$device" >"$work/Config.ini"

# Presses "连接设备" ((16, 8) on the toolbar, 75 x 25) in window $1 and waits
# for the instrument's connect reply in the trace.
connect_program() {
  xdotool mousemove --window "$1" 50 20 click 1
  for _ in $(seq 50); do grep -q '^kr3090.trace: 收到 24 A1 AA' "$work/trace.log" && break; sleep 0.1; done
  grep -q '^kr3090.trace: 收到 24 A1 AA' "$work/trace.log" || { echo "not connected" >&2; exit 1; }
}
