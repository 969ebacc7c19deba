#!/usr/bin/env bash
# A private CUPS server with one cups-pdf queue "PDF" as its default printer,
# for the real-print tests and for trying "打印" by hand.
#
#   scripts/print-server.sh start DIR [--no-queue]
#                                       start it (stopping an earlier one in DIR);
#                                       --no-queue: a server without any printer
#   scripts/print-server.sh stop DIR    stop it
#
# Everything lives in DIR: configuration, spool, logs and the socket
# DIR/cups.sock. Point a program at it with CUPS_SERVER=DIR/cups.sock. It does
# not listen on TCP and does not touch /etc/cups, so it runs beside the
# system's own cupsd or another private one. The spool keeps every job's
# original PDF (DIR/spool/d*-001); cups-pdf writes its page to the job user's
# ~/PDF (or /var/spool/cups-pdf/ANONYMOUS).
# Needs root: cups-pdf runs only as root.
set -euo pipefail

die() { echo "print-server: $*" >&2; exit 1; }

usage="usage: $0 start DIR [--no-queue] | stop DIR"
[ $# -ge 2 ] || die "$usage"
action=$1
dir=$2
queue=1
case "${3:-}" in
  "") ;;
  --no-queue) queue=0 ;;
  *) die "$usage" ;;
esac
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
sock=$dir/cups.sock
pidfile=$dir/cupsd.pid

# The cupsd started from DIR, if it still runs (checked by its command line,
# so a recycled process id is never killed).
running_pid() {
  [ -f "$pidfile" ] || return 1
  local pid
  pid=$(cat "$pidfile")
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q -- "$dir/cupsd.conf" || return 1
  echo "$pid"
}

stop() {
  local pid
  if pid=$(running_pid); then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do
      [ -d "/proc/$pid" ] || break
      sleep 0.1
    done
    if [ -d "/proc/$pid" ]; then kill -9 "$pid" 2>/dev/null || true; fi
  fi
  rm -f "$pidfile"
  # The folder of /tmp that held what lp must reach, if there was one.
  local link
  link=$(readlink "$dir/spool" 2>/dev/null) || true
  case "$link" in /tmp/kr3090-cups.*/spool) rm -rf "${link%/spool}" ;; esac
}

start() {
  [ "$(id -u)" -eq 0 ] || die "must run as root (the cups-pdf backend runs only as root)"
  command -v cupsd >/dev/null || die "cupsd not found: install the Debian package cups"
  command -v lpadmin >/dev/null || die "lpadmin not found: install the Debian package cups-client"
  [ -x /usr/lib/cups/backend/cups-pdf ] || die "no cups-pdf backend: install printer-driver-cups-pdf"
  local ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
  [ -f "$ppd" ] || die "$ppd missing: install printer-driver-cups-pdf"

  stop
  rm -rf "${dir:?}/etc" "$dir/spool" "$dir/tmp" "$dir/cache" "$dir/state" "$dir/log" "$sock"
  # The filters run as lp: they read the queue's PPD and the job and write
  # their temporary files. When lp cannot reach DIR (a root home is 0700),
  # those three live in a folder of /tmp, linked from DIR.
  local shared=$dir
  if ! runuser -u lp -- test -x "$dir" 2>/dev/null; then
    shared=$(mktemp -d /tmp/kr3090-cups.XXXXXX)
    chmod 755 "$shared"
    for d in etc spool tmp; do ln -s "$shared/$d" "$dir/$d"; done
  fi
  mkdir -p "$shared/etc/ppd" "$shared/spool" "$shared/tmp" "$dir/cache" "$dir/state" "$dir/log"
  chgrp lp "$shared/tmp"
  chmod 1770 "$shared/tmp"

  cat >"$dir/cups-files.conf" <<EOF
ServerRoot $shared/etc
RequestRoot $shared/spool
TempDir $shared/tmp
CacheDir $dir/cache
StateDir $dir/state
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
SystemGroup root
EOF
  # Newer CUPS updates know PeerCred (clients on the socket are trusted by their
  # credentials); an older cupsd refuses to start on a directive it lacks.
  if grep -qa PeerCred "$(command -v cupsd)"; then echo "PeerCred on" >>"$dir/cups-files.conf"; fi
  cat >"$dir/cupsd.conf" <<EOF
LogLevel warn
Listen $sock
Browsing No
WebInterface No
PreserveJobFiles Yes
PreserveJobHistory Yes
MaxJobs 0
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF

  # Detached from the caller's terminal and pipes, so the test runner that
  # starts it does not wait for it.
  setsid cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" \
    </dev/null >"$dir/log/cupsd.out" 2>&1 &
  echo $! >"$pidfile"

  local up=0
  for _ in $(seq 1 150); do
    if ! running_pid >/dev/null; then
      die "cupsd exited at start: $(tail -n 5 "$dir/log/cupsd.out" "$dir/log/error_log" 2>/dev/null)"
    fi
    if [ -S "$sock" ] && lpstat -h "$sock" -r >/dev/null 2>&1; then
      up=1
      break
    fi
    sleep 0.1
  done
  [ $up -eq 1 ] || { stop; die "cupsd did not answer on $sock within 15 s"; }

  if [ $queue -eq 0 ]; then
    echo "print-server: cupsd $(cat "$pidfile") on $sock, no printer"
    return
  fi
  lpadmin -h "$sock" -p PDF -v cups-pdf:/ -E -P "$ppd" || { stop; die "lpadmin could not create the queue PDF"; }
  lpadmin -h "$sock" -d PDF || { stop; die "lpadmin could not make PDF the default printer"; }
  local def
  def=$(lpstat -h "$sock" -d 2>&1) || true
  case "$def" in
    *PDF*) ;;
    *) stop; die "the default printer is not PDF: $def" ;;
  esac
  echo "print-server: cupsd $(cat "$pidfile") on $sock, default printer PDF"
}

case "$action" in
  start) start ;;
  stop) stop ;;
  *) die "$usage" ;;
esac
