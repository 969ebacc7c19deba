#!/usr/bin/env bash
# Runs a page screenshot program on a virtual 1280x1024 display of its own
# with openbox, so that the window is really maximised.
#   Usage: screenshot.sh PROGRAM OUT.png
set -euo pipefail
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/../../scripts/lib/common.sh"
display_up
trap 'kill "$wm_pid" "$xvfb_pid" 2>/dev/null || true' EXIT
"$1" "$2"
