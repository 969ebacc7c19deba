# shellcheck shell=bash
# Sourced by scripts/windows-e2e.sh and scripts/measure-windows.sh: a virtual
# desktop (Xvfb 1280x1024x24 with openbox), kr3090-sim on a pseudo-terminal,
# and the program, the Linux build or kr3090.exe under wine, wired to it
# through a Config.ini beside it. The program is driven as an operator drives
# it, by clicks at the designed positions and typed answers to the real file
# dialogs, and read only through what it writes: the simulator's log of
# requests, the result files, its trace and the screen.
#
# Needs: scripts/lib/common.sh sourced before it; root (the working tree),
# wine_lang (the locale wine runs in), cups_server (the print server's
# socket, for the program); build/app/kr3090, build/sim/kr3090-sim,
# build/tests/winee2e/winee2e-probe; for Windows an unpacked kr3090.exe.
# Everything started here is stopped by e2e_cleanup (on EXIT).
# shellcheck disable=SC2154 # root, wine_lang and cups_server are the caller's

title='大地网接地参数综合测试仪1.0版'
notice_title='提示信息窗体'
probe=$root/build/tests/winee2e/winee2e-probe
pids=()          # stopped on exit, last first
print_dir=""     # the private print server, when one runs
team=""          # the team's PostgreSQL server's folder, when one runs
app_config_extra=""  # lines app_up adds to Config.ini (an [Archive] section)
wine_used=0

e2e_cleanup() {
  local i
  # The prefix's programs (Notepad, explorer) first, while their display is up.
  if [ "$wine_used" = 1 ]; then wine_prefix_down; fi
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
  done
  # A second look after a moment: whatever ignored the first signal goes now.
  sleep 0.3
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    if alive "${pids[i]}"; then kill -KILL "${pids[i]}" 2>/dev/null || true; fi
  done
  if [ -n "$print_dir" ]; then "$root/scripts/print-server.sh" stop "$print_dir" || true; fi
  if [ -n "$team" ]; then "$root/scripts/team-server-test.sh" remove "$team" || true; fi
}

# ---- the desktop

desktop_up() {
  display_up
  pids+=("$xvfb_pid" "$wm_pid")
  say "desktop $DISPLAY (Xvfb 1280x1024x24, openbox)"
}

# ---- waiting for what the program writes

# count FILE REGEX: matching lines so far (0 when none or no file).
count() {
  local c
  c=$(grep -c -E -- "$2" "$1" 2>/dev/null) || true
  echo "${c:-0}"
}

# wait_count FILE REGEX N SECONDS WHAT
wait_count() {
  local file=$1 re=$2 n=$3 limit=$4 what=$5 end
  end=$((SECONDS + limit))
  while [ "$(count "$file" "$re")" -lt "$n" ]; do
    [ "$SECONDS" -lt "$end" ] || fail "$what: not seen within ${limit} s (in $file: $(count "$file" "$re") of $n)"
    sleep 0.05
  done
}

# crlf_lines FILE: CR LF lines in a result file.
crlf_lines() { count "$1" $'\r$'; }

# alive PID: the process runs (a zombie has ended).
alive() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
  [ -n "$state" ] && [ "$state" != Z ]
}

wait_lines() {
  local file=$1 n=$2 limit=$3 end
  end=$((SECONDS + limit))
  while [ "$(crlf_lines "$file")" -lt "$n" ]; do
    [ "$SECONDS" -lt "$end" ] || fail "$file: $(crlf_lines "$file") of $n lines after ${limit} s"
    sleep 0.05
  done
}

# ---- the locale wine runs in

# The operators' Windows is Chinese (code page 936): wine takes its locale
# from LANG, so a zh_CN locale is compiled once into the build folder (the
# system has none). Sets locale_dir, which app_up hands to wine as LOCPATH.
locale_dir=$root/build-windows/locale
wine_locale_up() {
  [ -f "$locale_dir/zh_CN.UTF-8/LC_CTYPE" ] && return
  mkdir -p "$locale_dir"
  localedef -i zh_CN -f UTF-8 "$locale_dir/zh_CN.UTF-8" || fail "localedef zh_CN.UTF-8 failed"
}

# ---- the simulator, its stderr stamped with the time each line arrived

stamp() { while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done; }

# sim_up DIR ARGS...: sets sim_device; the log is DIR/sim.log.
sim_up() {
  local dir=$1
  shift
  coproc SIM { exec "$root/build/sim/kr3090-sim" "$@" 2> >(stamp >"$dir/sim.log"); }
  pids+=("$SIM_PID")
  read -r -t 10 sim_device <&"${SIM[0]}" || fail "the simulator did not start"
}

# ---- the program

# app_quit WHAT LOG: "退出", the disconnect request in the simulator's LOG,
# the program gone within 30 s; then the simulator is stopped.
app_quit() {
  local what=$1 log=$2 end
  click 549 20  # 退出
  wait_count "$log" 'request 24 A1 BB' 1 30 "$what: disconnect on exit"
  end=$((SECONDS + 30))
  while alive "$app_pid" && [ $SECONDS -lt $end ]; do sleep 0.1; done
  alive "$app_pid" && fail "${what% archive}: the program did not end after 退出"
  wait "$app_pid" 2>/dev/null || true
  kill "$SIM_PID" 2>/dev/null || true
}

# app_up linux|windows DIR: starts the program of DIR/pkg against the
# simulator; sets app_pid, app_window (the client window) and launch_ms.
app_up() {
  local kind=$1 dir=$2 t0 shown
  if [ "$kind" = linux ]; then
    printf '[Config]\nComName=%s\n%s' "$sim_device" "$app_config_extra" >"$dir/pkg/Config.ini"
    t0=$EPOCHREALTIME
    (cd "$dir/pkg" && PATH="$dir/bin:$PATH" LC_ALL=C.UTF-8 CUPS_SERVER="$cups_server" \
      exec ./kr3090 --trace 2>"$dir/trace.log") &
    app_pid=$!
  else
    wine_com_port 5 "$sim_device"
    printf '[Config]\r\nComName=COM5\r\n%s' "$app_config_extra" >"$dir/pkg/Config.ini"
    t0=$EPOCHREALTIME
    # Through env: the shell itself never switches to a locale it lacks.
    (cd "$dir/pkg" && exec env LANG="$wine_lang" LC_ALL="$wine_lang" LOCPATH="$locale_dir" \
      CUPS_SERVER="$cups_server" WINEDEBUG="${app_winedebug:--all,+debugstr,+exec}" \
      "$WINE" kr3090.exe 2>"$dir/wine.log") &
    app_pid=$!
  fi
  pids+=("$app_pid")
  shown=$("$probe" window "$title" 60000) || fail "$kind: no window within 60 s"
  read -r t1 app_window _ _ _ _ <<<"$shown"
  # shellcheck disable=SC2034 # the caller's
  launch_ms=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.0f", (b - a) * 1000 }')
  # The last steps of start-up (maximising) settle before the first click.
  sleep 1
  if [ "$kind" = windows ] && ! fills_screen; then
    # Seen now and then: wine keeps the window at its restored size inside the
    # frame openbox has maximised, the rest of the frame unpainted. The clicks
    # (all near the top left) and the files do not depend on it; the
    # screenshots show it.
    say "windows: note: the window does not fill its maximised frame (wine kept its restored size)"
  fi
}

# fills_screen: within 5 s the bottom right corner of the screen is painted
# (the maximised window's background, not the black of an empty frame).
fills_screen() {
  local mean
  for _ in $(seq 50); do
    mean=$(import -window root -crop 16x16+1260+1000 -format '%[fx:mean]' info: 2>/dev/null) || mean=1
    awk -v m="$mean" 'BEGIN { exit !(m > 0.2) }' && return 0
    sleep 0.1
  done
  return 1
}

# click X Y: a left click at X, Y of the main window's client area.
click() { xdotool mousemove --window "$app_window" "$1" "$2" click 1; }

active() { xdotool getactivewindow 2>/dev/null || echo none; }

# viewable WINDOW: the window exists and is mapped.
viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# answer_dialog PATH [TYPES [SHOT]]: the save dialog the last click opened gets
# PATH typed into its file name field (replacing the name it offers), then
# Enter. With TYPES, the file type list first goes that many entries down (up
# when negative; Windows' dialog: the list follows the name field in its tab
# order; with SHOT, a screenshot is taken with the list open). Under wine the window
# manager may still name a dialog that has gone as the active window, so the
# dialog is the active window that is viewable and not the main one, and its
# end is its own window going away.
answer_dialog() {
  local main dialog="" end
  main=$(printf '%d' "$app_window")
  end=$((SECONDS + 30))
  while :; do
    dialog=$(active)
    [ "$dialog" != "$main" ] && [ "$dialog" != none ] && viewable "$dialog" && break
    [ "$SECONDS" -lt "$end" ] || fail "no file dialog came up"
    sleep 0.1
  done
  sleep 0.5  # the dialog takes the keyboard once it has been laid out
  local types=${2:-0} key=Down
  if [ "$types" -lt 0 ]; then types=$((-types)) key=Up; fi
  if [ "$types" -gt 0 ]; then
    xdotool key --clearmodifiers Tab
    for _ in $(seq "$types"); do xdotool key "$key"; done
    if [ -n "${3:-}" ]; then
      xdotool key alt+Down
      sleep 0.5
      shot "$3"
      xdotool key alt+Up
    fi
    xdotool key shift+Tab
  fi
  xdotool key --clearmodifiers End shift+Home
  xdotool type --delay 15 "$1"
  xdotool key Return
  end=$((SECONDS + 30))
  while viewable "$dialog"; do
    [ "$SECONDS" -lt "$end" ] || fail "the file dialog did not close after $1"
    sleep 0.1
  done
  sleep 0.3
}

# type_text TEXT: TEXT typed on the keyboard into the window that has the
# focus. Characters no key carries (Chinese) are first put on spare keys of
# their own for the whole text: xdotool alone puts each on a spare key just
# for its press and takes it off again, and wine, which looks up a key's
# character only when the program reads the key, then finds the key bare or
# already carrying the next character. The spare keys are the lowest free
# ones: wine gives keys past about 160 no virtual key on Xvfb's keyboard.
type_text() {
  local LC_ALL=C.UTF-8 text=$1 k c code spare=() mapped=()
  # A wine program takes in changed keys only once it has read a key of its
  # own: a Shift, which types nothing, goes first.
  xdotool key shift
  sleep 0.3
  mapfile -t spare < <(xmodmap -pke | awk 'NF == 3 && $2 > 8 { print $2 }')
  for ((k = 0; k < ${#text}; k++)); do
    c=${text:k:1}
    printf -v code '%d' "'$c"
    if [ "$code" -le 127 ] || [[ " ${mapped[*]} " == *" $c "* ]]; then continue; fi
    [ ${#mapped[@]} -lt ${#spare[@]} ] || fail "no spare key left for $c in \"$text\""
    xmodmap -e "keycode ${spare[${#mapped[@]}]} = $(printf 'U%04X' "$code")"
    mapped+=("$c")
  done
  # The program's toolkit takes the new keys in when it handles the change.
  [ ${#mapped[@]} = 0 ] || sleep 0.5
  xdotool type --delay 30 "$text"
  for ((k = 0; k < ${#mapped[@]}; k++)); do xmodmap -e "keycode ${spare[k]} ="; done
}

# notice_gone: the busy notice is hidden (the program has handled the reply
# that ends it).
notice_gone() {
  "$probe" gone "$notice_title" 30000 || fail "the busy notice \"$notice_title\" stayed up"
}

shot() { import -window root "$1"; }
