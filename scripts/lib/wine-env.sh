# shellcheck shell=bash
# Sourced by the Windows scripts: a wine prefix of the build's own (never the
# user's ~/.wine), started once and kept up by a persistent wineserver, and COM
# ports mapped to pseudo-terminals. Sets WINE (the loader), WINEPREFIX,
# WINEDLLOVERRIDES and WINEDEBUG (quiet unless the caller set it).
#   source scripts/lib/wine-env.sh; wine_prefix_up; wine_com_port 5 /dev/pts/3

: "${KR3090_WINEPREFIX:=$(pwd)/build-windows/wineprefix}"
export WINEPREFIX=$KR3090_WINEPREFIX
# No Mono, no Gecko: a new prefix then starts in seconds, not minutes.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEDEBUG=${WINEDEBUG:--all}
WINE=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)

# Creates the prefix when it is missing and keeps its wineserver running, so
# each program started later does not pay for a server start.
wine_prefix_up() {
  # wineboot writes .update-timestamp when it is done; system.reg only comes
  # when the server next saves the registry.
  if [ ! -f "$WINEPREFIX/.update-timestamp" ] && [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    "$WINE" wineboot --init >/dev/null 2>&1
  fi
  "$WINESERVER" -p >/dev/null 2>&1 || true
}

# wine_com_port N DEVICE: COMN of the prefix opens DEVICE (a pty slave).
wine_com_port() {
  ln -sfn "$2" "$WINEPREFIX/dosdevices/com$1"
}

wine_prefix_down() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
}
