# shellcheck shell=bash
# Sourced by the scripts: their progress and failure lines, the bound on a
# whole run, and a virtual display of their own.
#
#   source "$(dirname "$0")/lib/common.sh"   (from scripts/; before any cd)
#
# fail names the script by $script_name when the caller sets it, otherwise by
# its file name.

# say TEXT...: a progress line stamped with the time.
say() { echo "[$(date +%T)] $*"; }

# fail TEXT...: the failure on stderr, and the script ends with status 1.
fail() {
  echo "${script_name:-$(basename "$0")}: FAIL: $*" >&2
  exit 1
}

# bounded SECONDS GRACE ARGS...: the script runs again under timeout with
# ARGS, so that whatever hangs ends after SECONDS (and is killed GRACE seconds
# later if it ignores the signal); in that second run the call returns at once.
# Call it first, with "$@", before any cd.
bounded() {
  local limit=$1 grace=$2 self
  shift 2
  self=$(realpath "$0")
  # The script's own path: a bounded script that starts another (or itself
  # afresh, in a namespace) still bounds each once.
  [ "${KR3090_BOUNDED:-}" != "$self" ] || return 0
  KR3090_BOUNDED=$self exec timeout -k "$grace" "$limit" "$0" "$@"
}

# display_up: a virtual display of the script's own (Xvfb 1280x1024x24, no
# TCP, the first free display number) with openbox managing it; exports
# DISPLAY and sets xvfb_pid and wm_pid, which the caller stops.
display_up() {
  local fifo display
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 20 display <"$fifo" || {
    kill "$xvfb_pid" 2>/dev/null || true
    fail "Xvfb did not start"
  }
  rm -f "$fifo"
  export DISPLAY=:$display
  wm_up
}

# wm_up: openbox on $DISPLAY; sets wm_pid. Returns once openbox has taken the
# screen (it owns the window manager selection), or after 5 s.
# shellcheck disable=SC2034 # wm_pid is the caller's
wm_up() {
  openbox >/dev/null 2>&1 &
  wm_pid=$!
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    sleep 0.05
  done
}
