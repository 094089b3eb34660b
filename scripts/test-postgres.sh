#!/usr/bin/env bash
# A PostgreSQL server of the tests' own: a data directory made by initdb in a
# fresh folder under /tmp, a Unix socket in that folder and no TCP at all, run
# as an unprivileged user (the server refuses root: as root, as nobody).
#   test-postgres.sh start STATE    makes and starts it; STATE holds its folder and the URI of its postgres database
#   test-postgres.sh stop STATE     stops it and removes the folder (also what an earlier run left)
#   test-postgres.sh pause STATE    stops the server, keeping its data (a server gone during a run)
#   test-postgres.sh resume STATE   starts it again
set -euo pipefail
what=${1:?start, stop, pause or resume}
state=${2:?the state file}
port=54329

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/initdb" ] || { echo "test-postgres: no PostgreSQL server installed" >&2; exit 1; }

as_server() {
  if [ "$(id -u)" -eq 0 ]; then (cd / && runuser -u nobody -- "$@"); else "$@"; fi
}

folder() { sed -n 1p "$state" 2>/dev/null || true; }

server_up() {
  as_server "$bin/pg_ctl" -D "$1/data" -l "$1/server.log" -w -t 60 \
    -o "-k $1/socket -p $port -c listen_addresses= -c fsync=off -c max_connections=60 -c shared_buffers=16MB" start >/dev/null
}

server_down() {
  [ -f "$1/data/postmaster.pid" ] || return 0
  as_server "$bin/pg_ctl" -D "$1/data" -m fast -w -t 60 stop >/dev/null || true
}

case "$what" in
  start)
    old=$(folder)
    if [ -n "$old" ] && [ -d "$old" ]; then server_down "$old"; rm -rf "$old"; fi
    dir=$(mktemp -d /tmp/kestrino-pg.XXXXXX)
    mkdir -p "$dir/socket"
    [ "$(id -u)" -eq 0 ] && chown -R nobody "$dir"
    chmod 700 "$dir"
    as_server "$bin/initdb" -D "$dir/data" -U kestrino --auth=trust -E UTF8 --no-locale >"$dir/initdb.log" 2>&1 \
      || { cat "$dir/initdb.log" >&2; exit 1; }
    server_up "$dir" || { cat "$dir/server.log" >&2; exit 1; }
    printf '%s\npostgresql:///postgres?host=%s/socket&port=%s&user=kestrino\n' "$dir" "$dir" "$port" > "$state"
    echo "test-postgres: server up on $dir/socket"
    ;;
  stop)
    dir=$(folder)
    if [ -n "$dir" ] && [ -d "$dir" ]; then server_down "$dir"; rm -rf "$dir"; fi
    rm -f "$state"
    ;;
  pause) server_down "$(folder)" ;;
  resume) server_up "$(folder)" ;;
  *) echo "test-postgres: unknown command $what" >&2; exit 2 ;;
esac
