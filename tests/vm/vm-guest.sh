#!/bin/bash
# The guest side of scripts/serial-vm.sh. Runs inside the test guest, in a
# chroot of the host's root (read-only), with the share for results on
# /run/vm: the project's own test programs, built on the host, pointed at the
# guest's 16550 (ttyS1) and FTDI adapter (ttyUSB0) through KR3090_LINE, and the
# same programs on a pseudo-terminal of the guest for the figures beside them.
# Each run leaves a gtest report in /run/vm/results/DEVICE.WHAT.xml and its
# output in /run/vm/logs; /run/vm/progress gets a line as each one ends.
set -u
tree=$(cd "$(dirname "$0")/../.." && pwd)
tests=$tree/build/tests
out=/run/vm
mkdir -p "$out/results" "$out/logs"
export QT_QPA_PLATFORM=offscreen KR3090_LINE_CTL=$out/ctl XDG_RUNTIME_DIR=/tmp/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

say() { echo "$*" >>"$out/progress"; }

# The adapter is enumerated on the USB bus a moment after the guest is up.
for _ in $(seq 300); do [ -e /dev/ttyUSB0 ] && break; sleep 0.1; done
say "guest: up $(cut -d' ' -f1 /proc/uptime) s after its kernel started;" \
  "ttyS1: $(basename "$(readlink -f /sys/class/tty/ttyS1/device/driver)")," \
  "ttyUSB0: $(basename "$(readlink -f /sys/class/tty/ttyUSB0/device/driver 2>/dev/null)")"

# Only the runs whose names match vm.only= on the kernel command line, if given.
only=$(sed -n 's/.*vm\.only=\([^ ]*\).*/\1/p' /proc/cmdline)

# run DEVICE.WHAT LINE PROGRAM FILTER: LINE empty for the guest's own pty.
run() {
  local name=$1 line=$2 program=$3 filter=$4 t0=$EPOCHREALTIME rc
  # shellcheck disable=SC2053 # a pattern on purpose
  [ -z "$only" ] || [[ $name == $only ]] || return 0
  local env=(env -u KR3090_LINE)
  [ -n "$line" ] && env=(env KR3090_LINE="$line")
  "${env[@]}" "$tests/$program" --gtest_filter="$filter" \
    --gtest_output="xml:$out/results/$name.xml" >"$out/logs/$name.log" 2>&1
  rc=$?
  say "$(awk -v n="$name" -v rc="$rc" -v a="$t0" -v b="$EPOCHREALTIME" \
    'BEGIN { printf "%-18s exit %d, %5.1f s", n, rc, b - a }')"
}

settings='SerialCommTest.EveryDialogSetting*'
hung='DeviceHangs.*'
pulled='DeviceVanishes.WhilePolling*:DeviceVanishes.DuringADirectoryRead*:DeviceVanishes.OpeningTheGoneDevice*'
whole='LiveEndToEnd.ConnectMeasureStopResetDisconnectWhileTestingAndClose:ResultEndToEnd.SaveOnCtrl*:ResultEndToEnd.AnOperatorSession*'

run ttyS1.settings ttyS1 link/link_tests "$settings"
# An FT232 frames 7 and 8 data bits only (its data sheet; ftdi_sio says so too).
KR3090_LINE_DATA_BITS="7 8" run ttyUSB0.settings ttyUSB0 link/link_tests "$settings"
run ttyS1.live ttyS1 e2e/live_e2e_tests "${whole%%:Result*}"
run ttyS1.hung ttyS1 e2e/vanish_e2e_tests "$hung"
run pty.hung "" e2e/vanish_e2e_tests "$hung"
run ttyUSB0.live ttyUSB0 e2e/live_e2e_tests "${whole%%:Result*}"
run ttyUSB0.results ttyUSB0 e2e/result_e2e_tests "${whole#*Close:}"
run ttyUSB0.pulled ttyUSB0 e2e/vanish_e2e_tests "$pulled"
run pty.pulled "" e2e/vanish_e2e_tests "$pulled"
say "guest: done after $(cut -d' ' -f1 /proc/uptime) s"
