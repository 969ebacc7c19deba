#!/usr/bin/env bash
# The serial link on real serial drivers: a 16550 UART (guest ttyS1) and an
# FTDI FT232 USB-serial adapter on an xHCI controller (guest ttyUSB0), both
# emulated by QEMU (TCG) for a small Linux guest that runs the project's own
# test programs, built here, unchanged, from the host's root mounted read-only
# over 9p. The far end of each device is a pseudo-terminal here, played by
# this script as the tests ask (tests/vm/OutsideLine.h): kr3090-sim, an echo,
# a simulator that stops reading, or the adapter pulled out and plugged back
# through QEMU's monitor. See tests/vm/vm-guest.sh for what runs.
#
#   scripts/serial-vm.sh [RUNS]
#
# RUNS, a shell pattern, picks runs by name (tests/vm/vm-guest.sh), for
# example 'ttyS1.*' or '*.hung'; all of them when not given.
#
# The guest (the kernel that linux-image-amd64 depends on, fetched with
# apt-get download, never installed; the modules it needs; a busybox
# initramfs) is kept in ~/.cache/kr3090/serial-vm (KR3090_SERIAL_VM=DIR puts it
# elsewhere) and made again when its recipe changes. Reports, logs and the
# console stay in build/serial-vm/. Prints one line per device at the end and
# exits non-zero when any test failed. Bounded: gives up after 15 minutes.
set -euo pipefail
# shellcheck disable=SC2034 # fail's name for the script (scripts/lib/common.sh)
script_name=serial-vm
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/lib/common.sh"
bounded 900 30 "$@"
cd "$(dirname "$0")/.."
root=$(pwd)
started=$EPOCHREALTIME
# depmod and modprobe live in sbin, which a user's PATH may lack.
PATH=$PATH:/usr/sbin:/sbin
only=${1:-}
case "$only" in
  *[[:space:]]*) echo "usage: $0 [RUNS] (a pattern without spaces)" >&2; exit 2 ;;
esac
elapsed() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }'; }
# The guest's command line and QEMU's share options split on spaces and commas.
case "$root" in
  *[[:space:],]*) fail "the tree's path ($root) holds a space or a comma" ;;
esac

scripts/setup.sh ci
[ -d build ] || cmake --preset default >/dev/null
cmake --build build --target kr3090-sim link_tests vanish_e2e_tests live_e2e_tests \
  result_e2e_tests >build/serial-vm-build.log 2>&1 ||
  { tail -n 30 build/serial-vm-build.log; fail "building the test programs failed"; }

# ---- the guest, prepared once

cache=${KR3090_SERIAL_VM:-$HOME/.cache/kr3090/serial-vm}
# The drivers the guest loads; 8250 (the 16550) is built into Debian's kernel.
modules=(9pnet_virtio 9p virtio_pci xhci_pci ftdi_sio)
kernel_package() { apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: //p' | head -n1; }
kpkg=$(kernel_package)
if [ -z "$kpkg" ]; then
  apt-get update -q >/dev/null
  kpkg=$(kernel_package)
fi
[ -n "$kpkg" ] || fail "apt knows no kernel package behind linux-image-amd64"
recipe=$({
  apt-cache policy "$kpkg" | sed -n 's/^ *Candidate: //p'
  echo "$kpkg ${modules[*]}"
  dpkg-query -W busybox-static
  cat tests/vm/vm-init.sh
} | sha256sum | cut -c1-16)

prepare_guest() {
  local work k kver files
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  say "guest: fetching $kpkg"
  (cd "$work" && apt-get -q -o APT::Sandbox::User=root download "$kpkg" >/dev/null) ||
    fail "apt-get download $kpkg failed"
  k=$work/kernel
  dpkg-deb -x "$work"/*.deb "$k"
  kver=$(ls "$k/lib/modules")
  depmod -b "$k" "$kver"
  mapfile -t files < <(for m in "${modules[@]}"; do
    modprobe -d "$k" -S "$kver" --show-depends "$m"
  done | awk '$1 == "insmod" && !seen[$2]++ { print $2 }')
  [ ${#files[@]} -gt 0 ] || fail "no modules found for ${modules[*]}"
  local ird=$work/initramfs
  mkdir -p "$ird/bin" "$ird/modules" "$ird/proc" "$ird/sys" "$ird/dev"
  cp /bin/busybox "$ird/bin/"
  install -m 755 tests/vm/vm-init.sh "$ird/init"
  for f in "${files[@]}"; do
    cp "$f" "$ird/modules/"
    basename "$f"
  done >"$ird/modules/order"
  (cd "$ird" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initramfs.gz"
  mkdir -p "$cache"
  cp "$k/boot/vmlinuz-$kver" "$cache/vmlinuz"
  mv "$work/initramfs.gz" "$cache/initramfs.gz"
  echo "$recipe" >"$cache/recipe"
  say "guest: kernel $kver, ${#files[@]} modules, initramfs $(du -k "$cache/initramfs.gz" | cut -f1) KB"
}

t0=$EPOCHREALTIME
if [ "$(cat "$cache/recipe" 2>/dev/null)" != "$recipe" ]; then
  prepare_guest
  say "guest: prepared in $(elapsed "$t0") s"
fi

# ---- booting it with both devices

share=$root/build/serial-vm
ctl=$share/ctl
rm -rf "$share"
mkdir -p "$ctl"
run=$(mktemp -d)
declare -A pty pid plugged
qemu_pid=""
# shellcheck disable=SC2317 # called on exit
cleanup() {
  local p
  for p in "${pid[@]}"; do
    [ -n "$p" ] || continue
    kill -CONT "$p" 2>/dev/null || true
    kill "$p" 2>/dev/null || true
  done
  if [ -n "$qemu_pid" ]; then kill "$qemu_pid" 2>/dev/null || true; fi
  rm -rf "$run"
}
trap cleanup EXIT
trap 'echo "serial-vm: FAIL: stopped (time limit or signal)" >&2; exit 1' TERM INT

t_boot=$EPOCHREALTIME
qemu-system-x86_64 -accel tcg -M pc -m 512 -smp 1 -nodefaults -display none -no-reboot \
  -kernel "$cache/vmlinuz" -initrd "$cache/initramfs.gz" \
  -append "console=ttyS0 quiet panic=-1 vm.run=$root/tests/vm/vm-guest.sh${only:+ vm.only=$only}" \
  -serial "file:$share/console.log" \
  -chardev pty,id=uart -serial chardev:uart \
  -device qemu-xhci,id=usbc -chardev pty,id=ftdi \
  -device usb-serial,bus=usbc.0,chardev=ftdi,id=ftdi0 \
  -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$share,mount_tag=out,security_model=none" \
  -monitor "unix:$run/monitor,server,nowait" >"$share/qemu.log" 2>&1 &
qemu_pid=$!

# The far ends: QEMU names the pseudo-terminal behind each device at start.
for _ in $(seq 100); do
  [ "$(grep -c 'char device redirected' "$share/qemu.log")" = 2 ] && break
  sleep 0.05
done
pty[ttyS1]=$(sed -n 's/.*redirected to \(.*\) (label uart).*/\1/p' "$share/qemu.log")
pty[ttyUSB0]=$(sed -n 's/.*redirected to \(.*\) (label ftdi).*/\1/p' "$share/qemu.log")
if [ -z "${pty[ttyS1]}" ] || [ -z "${pty[ttyUSB0]}" ]; then
  fail "QEMU did not start: $(cat "$share/qemu.log")"
fi
# Held open for the whole run: with nobody on its end QEMU drops what the
# guest sends and looks again only once a second.
for line in ttyS1 ttyUSB0; do
  stty -F "${pty[$line]}" raw -echo
  # shellcheck disable=SC2034 # only held
  exec {held}<>"${pty[$line]}"
  pid[$line]=""
  plugged[$line]=1
done
say "QEMU up: ttyS1 (16550) is ${pty[ttyS1]}, ttyUSB0 (FTDI) is ${pty[ttyUSB0]} here"

# monitor COMMAND: one command to QEMU's human monitor, its answer on stderr.
monitor() {
  perl -MIO::Socket::UNIX -e '
    my $s = IO::Socket::UNIX->new(Peer => $ARGV[0]) or die "monitor: $!\n";
    alarm 10;
    my $seen = "";
    my $prompt = sub { $seen = ""; sysread($s, $seen, 4096, length $seen) until $seen =~ /\(qemu\) $/ };
    $prompt->();
    print $s "$ARGV[1]\n";
    $prompt->();
    $seen =~ s/\e\[[0-9;]*[A-Za-z]//g;
    print STDERR $seen if $seen =~ /rror/;
    exit($seen =~ /rror/ ? 1 : 0);' "$run/monitor" "$1"
}

# ---- the far ends' roles, as the tests ask

stop_role() {
  local p=${pid[$1]}
  [ -n "$p" ] || return 0
  kill -CONT "$p" 2>/dev/null || true
  kill "$p" 2>/dev/null || true
  wait "$p" 2>/dev/null || true
  pid[$1]=""
}
# reader PTY 0|1: reads whatever comes and drops it (0) or sends it back (1).
# A read fails with EIO for a moment whenever the guest opens the adapter:
# it reads on.
reader() {
  perl -e 'open(my $f, "+<", $ARGV[0]) or die "$ARGV[0]: $!\n";
    while (1) {
      my $n = sysread($f, my $b, 4096);
      if ($n) { syswrite($f, $b) if $ARGV[1] } else { select(undef, undef, undef, 0.02) }
    }' "$1" "$2" &
}
# Nothing asked: whatever comes is dropped (the FTDI's far end must always
# read, or QEMU stops the whole guest until it does).
idle() {
  stop_role "$1"
  reader "${pty[$1]}" 0
  pid[$1]=$!
}
echo_back() {
  stop_role "$1"
  reader "${pty[$1]}" 1
  pid[$1]=$!
}
simulate() {
  local line=$1
  shift
  stop_role "$line"
  : >"$run/$line.sim.out"
  "$root/build/sim/kr3090-sim" --device "${pty[$line]}" --verbose "$@" \
    >"$run/$line.sim.out" 2>"$ctl/$line.sim.log" &
  pid[$line]=$!
  # Ready once it has printed the device it serves.
  for _ in $(seq 100); do
    [ -s "$run/$line.sim.out" ] && return 0
    sleep 0.02
  done
  return 1
}
plug_back() {
  [ "${plugged[$1]}" = 1 ] && return 0
  monitor "device_add usb-serial,bus=usbc.0,chardev=ftdi,id=ftdi0" || return 1
  plugged[$1]=1
}
pull() {
  [ "$1" = ttyUSB0 ] || return 1
  monitor "device_del ftdi0" || return 1
  plugged[$1]=0
}

# handle LINE VERB ARGS...: one request of a test.
handle() {
  local line=$1 verb=$2
  shift 2
  [ -n "${pty[$line]:-}" ] || return 1
  case "$verb" in
    sim) plug_back "$line" && simulate "$line" "$@" ;;
    echo) plug_back "$line" && echo_back "$line" ;;
    stall) [ -n "${pid[$line]}" ] && kill -STOP "${pid[$line]}" ;;
    resume) [ -n "${pid[$line]}" ] && kill -CONT "${pid[$line]}" ;;
    pull) pull "$line" ;;
    *) return 1 ;;
  esac
}

idle ttyS1
idle ttyUSB0
shown=0
requests=0
booted=""
guest_deadline=$((SECONDS + 600))
while kill -0 "$qemu_pid" 2>/dev/null; do
  for req in "$ctl"/*.req; do
    [ -e "$req" ] || break
    read -r line verb args <"$req" || true
    requests=$((requests + 1))
    # shellcheck disable=SC2086 # the simulator's options, one word each
    if handle "$line" "$verb" $args; then
      mv "$req" "${req%.req}.ok"
    else
      say "host: could not carry out \"$line $verb\""
      mv "$req" "${req%.req}.fail"
    fi
  done
  if [ -f "$share/progress" ]; then
    [ -n "$booted" ] || booted=$(elapsed "$t_boot")
    mapfile -t -s "$shown" new <"$share/progress"
    for l in "${new[@]}"; do say "$l"; done
    shown=$((shown + ${#new[@]}))
  fi
  [ "$SECONDS" -lt "$guest_deadline" ] || { say "the guest ran for 10 minutes; stopping it"; break; }
  sleep 0.02
done
kill "$qemu_pid" 2>/dev/null || true
wait "$qemu_pid" 2>/dev/null || true
qemu_pid=""
say "QEMU ended after $(elapsed "$t_boot") s (the guest's tests began after ${booted:-?} s); $requests requests served"

# ---- what the runs reported

# attr NAME FILE: an attribute of the report's <testsuites> element.
attr() { grep -m1 -o "<testsuites [^>]*" "$2" | grep -o " $1=\"[0-9]*\"" | grep -o '[0-9]*'; }
# figure FILE TEST PROPERTY: a value a test recorded.
figure() {
  perl -e 'local $/; open(my $f, "<", $ARGV[0]) or do { print "-"; exit }; my $x = <$f>;
    print $x =~ /<testcase name="\Q$ARGV[1]\E"(?:(?!<\/testcase>).)*name="\Q$ARGV[2]\E" value="([^"]*)"/s ? $1 : "-"' \
    "$1" "$2" "$3" 2>/dev/null || echo -
}
declare -A passed failed
status=0
grep -q '^guest: done' "$share/progress" 2>/dev/null || {
  echo "serial-vm: the guest did not finish its runs; the console's end:" >&2
  tail -n 20 "$share/console.log" >&2
  status=1
}
while read -r name rc _; do
  [ -n "$name" ] || continue
  device=${name%%.*}
  xml=$share/results/$name.xml
  tests=0 failures=0
  if [ -f "$xml" ]; then
    tests=$(attr tests "$xml")
    failures=$(($(attr failures "$xml") + $(attr errors "$xml")))
  fi
  rc=${rc%,}
  # A run that ended badly without a failed test (a crash, no report) fails once.
  if [ "$rc" != 0 ] && [ "$failures" = 0 ]; then failures=1; fi
  [ "$failures" = 0 ] || { status=1; say "FAILED: $name (build/serial-vm/logs/$name.log)"; }
  passed[$device]=$((${passed[$device]:-0} + tests - (failures > tests ? tests : failures)))
  failed[$device]=$((${failed[$device]:-0} + failures))
done < <(grep -v '^guest:' "$share/progress" 2>/dev/null | sed 's/ exit / /')

r=$share/results
row() { printf '  %-46s %15s %15s\n' "$@"; }
keeps=TheWindowKeepsUpWhilePollingIntoAFullQueueAndReadingsReturnWhenItReadsAgain
closes=ClosingWhileHungEndsTheMessageLoopAndTheWindowAtOnce
echo
echo "Figures of this run, the same tests on each:"
row "the far end stops reading" "ttyS1 (16550)" "pty (guest)"
row "first poll into the full queue, ms" "$(figure "$r/ttyS1.hung.xml" $keeps first_poll_into_the_full_queue_ms)" \
  "$(figure "$r/pty.hung.xml" $keeps first_poll_into_the_full_queue_ms)"
row "longest poll into the full queue, ms" "$(figure "$r/ttyS1.hung.xml" $keeps longest_poll_into_the_full_queue_ms)" \
  "$(figure "$r/pty.hung.xml" $keeps longest_poll_into_the_full_queue_ms)"
row "longest wait of a press, ms" "$(figure "$r/ttyS1.hung.xml" $keeps longest_press_ms)" \
  "$(figure "$r/pty.hung.xml" $keeps longest_press_ms)"
row "closing the window over the full queue, ms" "$(figure "$r/ttyS1.hung.xml" $closes close_over_the_full_queue_ms)" \
  "$(figure "$r/pty.hung.xml" $closes close_over_the_full_queue_ms)"
row "the device gone: receive thread CPU, %" "ttyUSB0 (FTDI)" "pty (guest)"
for t in "while polling:WhilePollingTheWindowStaysCalmAndWorksAgainOnANewDevice" \
  "in a directory read:DuringADirectoryReadTheListHoldsWholeEntriesAndItWorksAgain" \
  "before the reopen:OpeningTheGoneDeviceAgainFailsWithTheMessage"; do
  row "  ${t%%:*}" "$(figure "$r/ttyUSB0.pulled.xml" "${t#*:}" receive_thread_cpu_percent)" \
    "$(figure "$r/pty.pulled.xml" "${t#*:}" receive_thread_cpu_percent)"
done
echo
for device in ttyS1 ttyUSB0 pty; do
  [ -n "${passed[$device]:-}${failed[$device]:-}" ] || continue
  case $device in
    ttyS1) label="ttyS1 (16550)" ;;
    ttyUSB0) label="ttyUSB0 (FTDI)" ;;
    pty) label="pty (guest)" ;;
  esac
  echo "$label: ${passed[$device]:-0} passed, ${failed[$device]:-0} failed"
done
echo "serial-vm: $(elapsed "$started") s in all"
exit "$status"
