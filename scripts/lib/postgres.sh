# shellcheck shell=bash
# Sourced by the scripts that run a PostgreSQL server of their own, after they
# define die: the newest server binaries Debian installed (bin) and as_server,
# which runs a server program as nobody when root starts it (initdb refuses root).

bin=$(printf '%s\n' /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
[ -x "$bin/initdb" ] || die "no PostgreSQL server: scripts/setup.sh installs it"

as_server() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u nobody -- "$@"
  else
    "$@"
  fi
}
