#!/usr/bin/env bash
# Tries the Debian package in a clean Debian 12 root, as an operator meets it.
#
#   scripts/package-test.sh [DEB]     (default: build-deb/kr3090_<version>_<arch>.deb)
#
# 1. A minimal Debian 12 root (mmdebstrap, variant apt, plus passwd for the
#    test's user) from the archive and suites this machine's apt uses, made
#    once and kept as a tarball in ~/.cache/kr3090/debian12/ with the lists
#    and the .deb files its installs fetched (KR3090_CACHE puts the cache
#    elsewhere). Each run unpacks a fresh copy.
# 2. apt-get install --no-install-recommends ./kr3090_….deb: apt resolves the
#    package's dependencies, and Depends alone must be enough. Nothing the
#    package installs may be writable by an ordinary user.
# 3. As root, as an operator without dialout might try it (sudo kr3090): the
#    settings dialog saves into /root/.config/kr3090/, never /usr/bin, although
#    root may write there. A Config.ini that an older version left in /usr/bin
#    is then planted: no user's program may read it.
# 4. As the user op, not in dialout, on Xvfb with openbox: the program started
#    from the desktop entry's Exec line shows its window (screenshots, Qt's
#    buttons in Chinese) and traces nothing; its default port fails with the
#    one-line message; the settings dialog saves the simulator's device and
#    115200 baud into ~/.config/kr3090/Config.ini (checked byte for byte); a
#    save into that file made read-only fails with the cause and leaves it as
#    it was; reopening the device, which only root may open, gives a second
#    line (a taller box), and once the device belongs to dialout, the advice to
#    join it (a wider box).
# 5. op added to dialout, the simulator's device given to dialout (as udev
#    does with /dev/ttyS*): the next start, traced through QT_LOGGING_RULES,
#    opens it with the saved settings (no message, 115200 baud on the line, not
#    the refused 9600), connects, starts a test and shows readings; "帮助"
#    says to install xdg-utils (not recommended-installed here); once it is
#    installed, "帮助" hands the manual to xdg-open and "上传历史数据" its
#    file (a recording $BROWSER, xdg-open's last resort, notes both); a second
#    instance finds the port busy (one-line message).
# 6. apt-get purge leaves no file of the package behind, and nothing the
#    program wrote is left outside the home folders.
#
# Screenshots, traces and the log land in build-deb/package-test/. Runs as
# root (mmdebstrap, chroot, mounts), in a mount and PID namespace of its own,
# with the root in memory, so every mount, process and file of the root goes
# when it ends; bounded at 15 minutes. KR3090_KEEP_ROOT=1 unpacks the root
# into build-deb/package-test/root/ instead and leaves it there.
set -euo pipefail
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/lib/common.sh"
bounded 900 30 "$@"
cd "$(dirname "$0")/.."
tree=$(pwd)
out=$tree/build-deb/package-test
root=$out/root
cache=${KR3090_CACHE:-$HOME/.cache/kr3090}/debian12
base=$cache/base.tar

# ---- outside the namespaces: the cached root, the run, the clean-up

if [ -z "${KR3090_IN_NAMESPACE:-}" ]; then
  [ "$(id -u)" -eq 0 ] || fail "run it as root (mmdebstrap, chroot and mounts need root)"
  for tool in mmdebstrap unshare Xvfb openbox xdotool xprop xwininfo import; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh ci installs it)"
  done
  deb=${1:-}
  if [ -z "$deb" ]; then
    version=$(dpkg-parsechangelog -l debian/changelog -S Version)
    deb=build-deb/kr3090_${version}_$(dpkg --print-architecture).deb
  fi
  [ -f "$deb" ] || fail "no $deb (scripts/package-deb.sh builds it)"
  deb=$(realpath "$deb")

  # Bytes received on every interface but loopback: the downloads of this run.
  received() { awk 'NR > 2 && $1 != "lo:" { sub(/^[^:]*:/, ""); n += $1 } END { print n + 0 }' /proc/net/dev; }
  rx0=$(received)
  started=$SECONDS

  mkdir -p "$cache/archives/partial" "$cache/lists/partial"
  if [ ! -f "$base" ]; then
    # The suites this machine's apt takes from Debian's archive, as one-line sources.
    mapfile -t sources < <(apt-cache policy | awk '
      /^ *[0-9]+ (https?|file):/ { uri = $2; split($3, sc, "/"); suite = sc[1]; comp = sc[2]; next }
      /release .*o=Debian,/ && uri != "" { l = "deb " uri " " suite " " comp; if (!(l in seen)) { seen[l] = 1; print l }; uri = ""; next }
      /release/ { uri = "" }')
    [ ${#sources[@]} -gt 0 ] || fail "apt uses no suite of Debian's archive here"
    say "making the Debian 12 root once (cached in $cache): ${sources[*]}"
    mmdebstrap --variant=apt --include=passwd bookworm "$cache/base.new.tar" "${sources[@]}" \
      >"$cache/mmdebstrap.log" 2>&1 || { tail -n 20 "$cache/mmdebstrap.log"; fail "mmdebstrap failed"; }
    mv "$cache/base.new.tar" "$base"
    say "root made in $((SECONDS - started)) s, $(($(received) - rx0)) bytes received"
  fi

  rm -rf "$out"
  mkdir -p "$root"
  rc=0
  KR3090_IN_NAMESPACE=1 KR3090_DEB=$deb \
    unshare --mount --pid --fork --kill-child --mount-proc "$tree/scripts/package-test.sh" || rc=$?
  rmdir "$root" 2>/dev/null || true
  say "package test: $((SECONDS - started)) s in all, $(($(received) - rx0)) bytes received" \
    "(cache: $(du -sh "$cache" | cut -f1))"
  if [ "$rc" -eq 0 ]; then say "package test passed"; else say "package test FAILED"; fi
  exit "$rc"
fi

# ---- inside: PID 1 of a namespace of its own; the mounts are private

in_root() { chroot "$root" "$@"; }

# The root lives in memory and goes with the namespace (unpacking, dpkg's
# syncs and removing 300 MB of files on disk take longer than the test).
[ "${KR3090_KEEP_ROOT:-0}" = 1 ] || mount -t tmpfs -o size=2g,mode=0755 root "$root"
tar -xf "$base" -C "$root"
cp "$KR3090_DEB" "$root/tmp/"
KR3090_DEB=$(basename "$KR3090_DEB")
mount -t proc proc "$root/proc"
mount -t tmpfs -o mode=0755 dev "$root/dev"
for node in null zero full random urandom tty; do
  touch "$root/dev/$node"
  mount --bind "/dev/$node" "$root/dev/$node"
done
mkdir -p "$root/dev/pts" "$root/dev/shm"
# Pseudo-terminals of their own: a new one belongs to its opener, mode 0620.
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts "$root/dev/pts"
ln -s pts/ptmx "$root/dev/ptmx"
mount -t tmpfs tmpfs "$root/dev/shm"
mount --bind "$cache/archives" "$root/var/cache/apt/archives"
mount --bind "$cache/lists" "$root/var/lib/apt/lists"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/tmp/.X11-unix"

phase=$SECONDS
say "apt-get update; apt-get install --no-install-recommends ./$KR3090_DEB"
in_root apt-get -o Acquire::Languages=none update -q >"$out/apt.log" 2>&1 || { tail -n 20 "$out/apt.log"; fail "apt-get update failed"; }
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "./tmp/$KR3090_DEB" >>"$out/apt.log" 2>&1 || { tail -n 20 "$out/apt.log"; fail "apt-get install failed"; }
grep -E '^(Need to get|After this operation|[0-9]+ upgraded)' "$out/apt.log" | sed 's/^/  /'
say "installed in $((SECONDS - phase)) s"
in_root dpkg-query -L kr3090 >"$out/files.txt"

# Nothing the package installs is writable by anyone but root.
writable=$(cd "$root" && while read -r f; do
  [ -L ".$f" ] || find ".$f" -maxdepth 0 \( -perm /022 -o ! -user root \) -printf '%m %u %p\n'
done <"$out/files.txt")
[ -z "$writable" ] || fail "writable by others: $writable"

desktop=$(grep '^/usr/share/applications/.*\.desktop$' "$out/files.txt")
exec_line=$(sed -n 's/^Exec=//p' "$root$desktop" | sed 's/ *%[fFuUdDnNickvm]//g')
[ -n "$exec_line" ] || fail "no Exec line in $desktop"
say "menu entry $desktop: Exec=$exec_line"

# ---- the desktop

# Xvfb and openbox go with the namespace.
display_up
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"

title='大地网接地参数综合测试仪1.0版'

# The visible top-level windows of the program whose title is $1, newest last.
windows_named() {
  local w
  for w in $(xdotool search --onlyvisible --class kr3090 2>/dev/null); do
    xprop -id "$w" _NET_WM_NAME 2>/dev/null | grep -qxF "_NET_WM_NAME(UTF8_STRING) = \"$1\"" && echo "$w"
  done
}
# wait_window TITLE SECONDS [EXCEPT...]: prints a window of that title that is
# not one of EXCEPT.
wait_window() {
  local name=$1 limit=$2 end w
  shift 2
  end=$((SECONDS + limit))
  while [ "$SECONDS" -lt "$end" ]; do
    for w in $(windows_named "$name"); do
      [[ " $* " == *" $w "* ]] || { echo "$w"; return 0; }
    done
    sleep 0.2
  done
  return 1
}
wait_gone() {
  local end=$((SECONDS + $2))
  while xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}
height() { xwininfo -id "$1" | awk '/Height:/ { print $2 }'; }
shot() {
  sleep 0.7  # let the window manager and the program paint
  import -window root "$out/$1.png"
  say "screenshot $1.png"
}
press() {
  timeout 5 xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
  xdotool key --clearmodifiers "$2"
}
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.3; }

# start_program LOG [USER [VAR=VALUE...]]: the menu entry's command as op (or
# USER), with a fresh login's groups and environment (HOME from passwd, as
# sudo gives root).
start_program() {
  local log=$1 user=${2:-op}
  shift $(($# < 2 ? $# : 2))
  chroot "$root" setpriv --reuid="$user" --regid="$user" --init-groups --reset-env \
    env DISPLAY="$DISPLAY" LANG=C.UTF-8 "$@" sh -c "exec $exec_line" 2>"$out/$log" &
  app=$!
}
width() { xwininfo -id "$1" | awk '/Width:/ { print $2 }'; }
# save_settings DIALOG DEVICE KEYS: types the device, moves the baud box by
# KEYS from where it stands and presses 保存.
save_settings() {
  click "$1" 168 34  # the port box
  xdotool key ctrl+a
  xdotool type --delay 30 "$2"
  click "$1" 150 162  # the baud box
  # shellcheck disable=SC2086 # the keys, one word each
  xdotool key $3
  [ -z "${4:-}" ] || shot "$4"
  click "$1" 77 202  # 保存
}
# Config.ini's bytes as od shows them, for a device at a rate.
config_bytes() {
  printf '[Config]\r\nComName=%s\r\nDataNum=8\r\nStopNum=0\r\nMark=0\r\nBaud=%s\r\n' "$1" "$2" | od -An -c
}

in_root useradd --create-home --shell /bin/bash op
in_root id op | grep -qw dialout && fail "op is in dialout from the start"

coproc SIM { exec chroot "$root" kr3090-sim --records 12 2>"$out/sim.log"; }
read -r -t 10 device <&"${SIM[0]}" || fail "kr3090-sim did not start"
say "simulator on $device: $(stat -c '%U:%G %a' "$root$device")"

# ---- as root, as "sudo kr3090" starts it

# Whatever the program writes from here on must stay in the home folders.
stamp=$root/tmp/kr3090-before-the-program
touch "$stamp"
phase=$SECONDS
start_program trace-0.log root
box=$(wait_window 提示 60) || fail "no message for root's missing default port within 60 s"
one_line=$(height "$box")
shot 01-root-first-start
press "$box" Return
wait_gone "$box" 5 || fail "the message for the default port stayed"
main=$(wait_window "$title" 20) || fail "no window after the message"
click "$main" 135 20  # 通讯设置
dialog=$(wait_window 通讯设置 10) || fail "no settings dialog"
save_settings "$dialog" "$device" "Down Down Down"  # 9600 -> 115200
saved=$(wait_window 提示 10) || fail "no confirmation of root's save"
press "$saved" Return
wait_gone "$saved" 5 || fail "the confirmation stayed"
click "$dialog" 177 202  # 关闭: root opens the device
wait_gone "$dialog" 5 || fail "the settings dialog stayed"
sleep 2
[ -z "$(windows_named 提示)" ] || { shot 01-unexpected; fail "a message when root opened the device"; }
click "$main" 549 20  # 退出
wait "$app" || fail "the program ended with status $?"
[ ! -e "$root/usr/bin/Config.ini" ] || fail "root's save wrote /usr/bin/Config.ini"
[ "$(od -An -c "$root/root/.config/kr3090/Config.ini")" = "$(config_bytes "$device" 115200)" ] ||
  fail "root's Config.ini holds: $(cat -A "$root/root/.config/kr3090/Config.ini" 2>&1)"
say "root saved into /root/.config/kr3090/Config.ini, not /usr/bin: $((SECONDS - phase)) s"

# What an older version left behind when root saved: never read again.
stale=$root/usr/bin/Config.ini
printf '[Config]\r\nComName=/dev/ttyKR3090-stale\r\nBaud=300\r\n' >"$stale"
touch -a -d '2000-01-01 00:00' "$stale"

# ---- as op, not in dialout

phase=$SECONDS
start_program trace-1.log
# The port is opened as the window is first shown, before it is mapped: the
# message comes first.
box=$(wait_window 提示 60) || fail "no message for the missing default port within 60 s"
[ "$(height "$box")" -eq "$one_line" ] || fail "op's first message is not one line"
shot 02-first-start
press "$box" Return
wait_gone "$box" 5 || fail "the message for the default port stayed"
main=$(wait_window "$title" 20) || fail "no window after the message"
shot 03-window

click "$main" 135 20  # 通讯设置
dialog=$(wait_window 通讯设置 10) || fail "no settings dialog"
save_settings "$dialog" "$device" "Down Down Down" 04-settings
saved=$(wait_window 提示 10) || fail "no confirmation of the save"
shot 05-saved
press "$saved" Return
wait_gone "$saved" 5 || fail "the confirmation stayed"
config=$root/home/op/.config/kr3090/Config.ini
[ -f "$config" ] || fail "no ~/.config/kr3090/Config.ini after the save"
[ "$(od -An -c "$config")" = "$(config_bytes "$device" 115200)" ] || fail "Config.ini holds: $(cat -A "$config")"
owner=$(in_root stat -c %U "${config#"$root"}")
[ "$owner" = op ] || fail "Config.ini belongs to $owner"

# A file op may not write: the save says why and changes nothing.
chmod 0444 "$config"
save_settings "$dialog" "$device" "Up Up Up"  # back to 9600
# The application's error display: a box titled with the program's name.
refused=$(wait_window kr3090 10) || fail "no message for the refused save"
shot 06-save-refused
press "$refused" Return
wait_gone "$refused" 5 || fail "the refused save's message stayed"
[ "$(od -An -c "$config")" = "$(config_bytes "$device" 115200)" ] || fail "the refused save changed Config.ini"
chmod 0644 "$config"

click "$dialog" 177 202  # 关闭: the port is reopened with the settings in use
wait_gone "$dialog" 5 || fail "the settings dialog stayed"
box=$(wait_window 提示 10 "$saved") || fail "no message for the device op may not open"
two_lines=$(height "$box")
denied_width=$(width "$box")
shot 07-no-permission
[ "$two_lines" -gt "$one_line" ] ||
  fail "the message for the device op may not open is no taller ($two_lines px) than the one-line one ($one_line px)"
press "$box" Return
wait_gone "$box" 5 || fail "the permission message stayed"

# The device given to dialout, still closed to op: the advice to join it.
in_root chgrp dialout "$device"
click "$main" 135 20  # 通讯设置
dialog=$(wait_window 通讯设置 10) || fail "no settings dialog"
click "$dialog" 177 202  # 关闭
wait_gone "$dialog" 5 || fail "the settings dialog stayed"
box=$(wait_window 提示 10) || fail "no message for the dialout device op may not open"
shot 08-no-permission-dialout
[ "$(width "$box")" -gt "$denied_width" ] ||
  fail "the message for a dialout device ($(width "$box") px) is no wider than without the advice ($denied_width px)"
press "$box" Return
wait_gone "$box" 5 || fail "the dialout message stayed"

click "$main" 549 20  # 退出
wait "$app" || fail "the program ended with status $?"
! grep -q '发送\|收到' "$out/trace-1.log" || fail "the program traced without being asked: $(head -n 2 "$out/trace-1.log")"
[ "$(stat -c %X "$stale")" = "$(date -d '2000-01-01 00:00' +%s)" ] || fail "op's program read /usr/bin/Config.ini"
rm "$stale"
say "saved: ~op/.config/kr3090/Config.ini = $(tr '\r\n' ' |' <"$config")"
say "first session as op: $((SECONDS - phase)) s"

# ---- op in dialout, the device given to dialout

phase=$SECONDS
in_root usermod -a -G dialout op
in_root chmod 0660 "$device"
# A browser that only notes what it was given: xdg-open's last resort.
cat >"$root/usr/local/bin/kr3090-test-browser" <<'BROWSER'
#!/bin/sh
echo "$*" >>/tmp/kr3090-opened.txt
BROWSER
chmod 0755 "$root/usr/local/bin/kr3090-test-browser"
start_program trace-2.log op QT_LOGGING_RULES=kr3090.trace.debug=true \
  BROWSER=/usr/local/bin/kr3090-test-browser
main=$(wait_window "$title" 60) || fail "no window at the next start"
sleep 2
[ -z "$(windows_named 提示)" ] || { shot 09-unexpected; fail "a message at the next start"; }
speed=$(in_root stty -F "$device" speed)
[ "$speed" = 115200 ] || fail "the device runs at $speed baud, not the saved 115200"
click "$main" 50 20  # 连接设备
for _ in $(seq 50); do grep -q '^kr3090.trace: 收到 24 A1 AA' "$out/trace-2.log" && break; sleep 0.1; done
grep -q '^kr3090.trace: 收到 24 A1 AA' "$out/trace-2.log" || fail "no connect reply from the simulator"
click "$main" 136 357  # 开  始  测  试
sleep 3
# The last live reading: byte 18 is the test state, bytes 5..8 the voltage.
last=$(grep '^kr3090.trace: 收到' "$out/trace-2.log" | grep -o '24 A1 DD 14\( [0-9A-F][0-9A-F]\)\{22\}' | tail -n 1)
read -r -a reading <<<"$last"
[ "${#reading[@]}" -eq 26 ] || fail "no live reading in the trace"
[ "${reading[18]}" = 01 ] || fail "the test is not running in the last reading: $last"
[ "${reading[*]:5:4}" != "00 00 00 00" ] || fail "the voltage read is zero: $last"
shot 09-readings

# The archive: the SQLite driver is there, and the file goes to op's data folder.
click "$main" 632 20  # 档案
archive=$(wait_window 档案 30) || fail "no archive window"
shot 09-archive
[ -z "$(windows_named 提示)" ] || { shot 09-archive-message; fail "a message when the archive opened"; }
in_root test -s /home/op/.local/share/kr3090/kr3090-archive.sqlite ||
  fail "no archive in ~op/.local/share/kr3090"
press "$archive" alt+F4
wait_gone "$archive" 5 || fail "the archive window stayed"

# "帮助" without xdg-utils (installed without recommends): what to install.
click "$main" 466 20  # 帮助
box=$(wait_window 提示 10) || fail "帮助 said nothing without xdg-utils"
shot 09-help-without-xdg-utils
press "$box" Return
wait_gone "$box" 5 || fail "the message about xdg-utils stayed"
phase_xdg=$SECONDS
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends xdg-utils \
  >>"$out/apt.log" 2>&1 || { tail -n 20 "$out/apt.log"; fail "apt-get install xdg-utils failed"; }
say "xdg-utils installed in $((SECONDS - phase_xdg)) s"
opened=$root/tmp/kr3090-opened.txt
# With it, the manual goes to the browser, and an upload's file to its opener.
click "$main" 466 20  # 帮助
for _ in $(seq 50); do grep -q kr3090-manual.html "$opened" 2>/dev/null && break; sleep 0.2; done
grep -q '/usr/share/kr3090/kr3090-manual.html' "$opened" 2>/dev/null ||
  fail "帮助 did not open the manual: $(cat "$opened" 2>&1)"
[ -z "$(windows_named 提示)" ] || { shot 09-help-unexpected; fail "a message when 帮助 opened the manual"; }
click "$main" 136 185  # 历  史  数  据
sleep 3
click "$main" 136 185  # 上传历史数据, where the same place on the History page
sleep 2
shot 09-upload-dialog
xdotool type --delay 30 /home/op/upload.txt
xdotool key Return
for _ in $(seq 100); do grep -q upload.txt "$opened" 2>/dev/null && break; sleep 0.2; done
grep -q '/home/op/upload.txt' "$opened" || fail "the uploaded file was not opened: $(cat "$opened" 2>&1)"
in_root test -s /home/op/upload.txt || fail "no uploaded file"
say "帮助 and the upload's file went to xdg-open: $(tr '\n' ' ' <"$opened")"
# The recording browser is the test's, not the program's: gone before the purge check.
rm -f "$root/usr/local/bin/kr3090-test-browser" "$opened"
click "$main" 136 329  # 返       回, back to the readings

first=$app
start_program trace-3.log
box=$(wait_window 提示 30) || fail "a second instance said nothing about the busy port"
busy=$(height "$box")
shot 10-second-instance
[ "$busy" -eq "$one_line" ] || fail "the busy port's message is $busy px high, not one line ($one_line px)"
press "$box" Return
wait_gone "$box" 5 || fail "the busy message stayed"
kill "$app"
wait "$app" 2>/dev/null || true
click "$main" 549 20  # 退出
wait "$first" || fail "the program ended with status $?"
say "second session as op (in dialout): $((SECONDS - phase)) s"

# ---- purge

phase=$SECONDS
in_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q kr3090 >>"$out/apt.log" 2>&1 ||
  fail "apt-get purge failed"
left=""
while read -r f; do
  [ "$f" != /. ] || continue
  [ -e "$root$f" ] || [ -L "$root$f" ] || continue
  # A folder that another package also owns (/usr/share/icons/hicolor, ...) may stay.
  if [ -d "$root$f" ] && [ ! -L "$root$f" ] && in_root dpkg-query -S "$f" >/dev/null 2>&1; then continue; fi
  left+=" $f"
done <"$out/files.txt"
[ -z "$left" ] || fail "left after purge:$left"
if ls "$root"/var/lib/dpkg/info/kr3090.* >/dev/null 2>&1; then fail "dpkg still holds kr3090's records"; fi
# Files written since the program first ran, but for the home folders and
# what dpkg, apt and usermod keep.
written=$(cd "$root" && { find . -xdev ! -type d -newer "$stamp" | sed 's/^\.//' |
  grep -v -E '^/(home|root|tmp|var/lib/dpkg|var/lib/apt|var/cache/apt|var/cache/debconf|var/log)/|^/etc/(group|gshadow|passwd|shadow)-?$|^/etc/\.pwd\.lock$' || true; }) ||
  fail "could not look through the root"
[ -z "$written" ] || fail "written outside the home folders: $written"
say "purged in $((SECONDS - phase)) s: nothing of the package is left, nothing the program wrote" \
  "outside the home folders (root's and op's ~/.config/kr3090 are theirs)"
