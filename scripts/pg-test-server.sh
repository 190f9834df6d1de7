#!/usr/bin/env bash
# A throwaway PostgreSQL server for tests and benchmarks, listening only on a
# Unix socket inside its own folder.
#   scripts/pg-test-server.sh start DIR   initdb into DIR/data, start; prints a
#                                          libpq connection string
#   scripts/pg-test-server.sh stop DIR    stop the server and remove DIR
# PostgreSQL refuses to run as root: as root the server runs as 'nobody', so
# every folder above DIR must let it pass.
set -euo pipefail
action="${1:-}"
dir="${2:-}"
if [ -z "$action" ] || [ -z "$dir" ]; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi
bindir="$(pg_config --bindir 2>/dev/null || true)"
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  bindir="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)"
fi
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  echo "PostgreSQL server programs (initdb, pg_ctl) are not installed." >&2
  exit 1
fi

as_server_user() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u nobody -- "$@"
  else
    "$@"
  fi
}

case "$action" in
  start)
    mkdir -p "$dir"
    if [ "$(id -u)" -eq 0 ]; then chown nobody "$dir"; fi
    chmod 700 "$dir"
    as_server_user "$bindir/initdb" -D "$dir/data" -U kevra -A trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; exit 1; }
    as_server_user "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
      -o "-c listen_addresses='' -k $dir -p 5432 -c fsync=off" start >/dev/null ||
      { cat "$dir/server.log" >&2; exit 1; }
    echo "host=$dir port=5432 user=kevra dbname=postgres"
    ;;
  stop)
    if [ -d "$dir/data" ]; then
      as_server_user "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null || true
    fi
    rm -rf "$dir"
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
