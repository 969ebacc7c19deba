#!/usr/bin/env bash
# The demo: installs what is missing, builds, starts the instrument simulator
# on a pseudo-terminal and the program wired to it, and stops the simulator
# when the program ends.
#
# The program runs from ./demo/ with its own Config.ini (ComName = the
# simulator's device), so a Config.ini of your own is never touched. The
# traffic trace (--trace: the logging category kr3090.trace) goes to
# demo/trace.log.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target kr3090 kr3090-sim

# Checked after the build, so that a machine without a display is still set up.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'TEXT'
run.sh: there is no display (DISPLAY is not set), and the program is a window.
        Run it from a desktop session, or on a virtual display:
            xvfb-run -a scripts/run.sh
TEXT
  exit 1
fi

demo=$root/demo
mkdir -p "$demo"
# A copy, not a link: the program looks for Config.ini beside its own file.
cp -f build/app/kr3090 "$demo/kr3090"

coproc SIM { exec "$root/build/sim/kr3090-sim"; }
# shellcheck disable=SC2153 # SIM_PID: set by coproc
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
if ! read -r -t 10 device <&"${SIM[0]}"; then
  echo "run.sh: the simulator did not start" >&2
  exit 1
fi
echo "run.sh: simulator on $device"

config=$demo/Config.ini
if [ -f "$config" ] && grep -q '^\[Config\]' "$config"; then
  # Keep the settings changed in the demo; only the device is new each run.
  if grep -q '^ComName=' "$config"; then
    sed -i "s|^ComName=.*|ComName=$device|" "$config"
  else
    sed -i "s|^\[Config\].*|&\nComName=$device|" "$config"
  fi
else
  printf '[Config]\nComName=%s\nDataNum=8\nStopNum=0\nMark=0\nBaud=9600\n' "$device" >"$config"
fi

echo "run.sh: starting demo/kr3090 (press 连接设备 to connect; trace in demo/trace.log)"
rc=0
(cd "$demo" && ./kr3090 --trace 2>"$demo/trace.log") || rc=$?
exit "$rc"
