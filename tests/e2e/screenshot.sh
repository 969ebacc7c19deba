#!/usr/bin/env bash
# Runs the Ctrl page screenshot on a virtual 1280x1024 display with openbox, so
# that the window is really maximised.  Usage: screenshot.sh PROGRAM OUT.png
set -euo pipefail
program=$1
out=$2
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  rc=0
  "$0" "$1" || rc=$?
  kill "$wm" 2>/dev/null || true
  exit "$rc"' "$program" "$out"
