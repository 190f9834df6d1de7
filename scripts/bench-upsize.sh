#!/usr/bin/env bash
# Upsize speed and memory: kevra-cli upsize against mdb-export -I postgres
# piped into psql, both into the same throwaway
# PostgreSQL server on a Unix socket, in the same run.
# Usage: scripts/bench-upsize.sh [ROWS]   (parent rows, default 1000000; the
# child table gets ROWS/10). KEVRA_BENCH_ROUNDS (default 3) sets the rounds.
# mdb-export runs as it comes (mdbtools 1.0 puts up to 1000 rows in each
# INSERT); KEVRA_BENCH_MDB_BATCH=N passes -S N to it (1: one INSERT per row).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

rows="${1:-1000000}"
kevra_need_packages "${KEVRA_BUILD_PACKAGES[@]}" "${KEVRA_TEST_PACKAGES[@]}"

build_dir="${KEVRA_BUILD_DIR:-$kevra_root/build}"
cli="$(kevra_build_cli "$build_dir" "${KEVRA_BUILD_TYPE:-RelWithDebInfo}")"

tmp="$(mktemp -d /tmp/kevra-bench-XXXXXX)"
server="$tmp/pg"
chmod 711 "$tmp"  # the server user must reach its folder
cleanup() {
  "$kevra_root/scripts/pg-test-server.sh" stop "$server" >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap cleanup EXIT

file="$tmp/bench.mdb"
"$cli" generate "$file" --rows "$rows" >/dev/null
conn="$("$kevra_root/scripts/pg-test-server.sh" start "$server")"
psql_run() { psql -X -q -v ON_ERROR_STOP=1 "$conn" "$@"; }

# Rounds of kevra-cli then mdbtools (A B A B ...), each into schemas of its
# own; the ratio is taken round by round and the median reported, so that a
# busy moment on the machine moves one round, not the result. Each timed run
# starts on a quiet server: a checkpoint first, and the tables of the runs
# before dropped once counted, so that neither side pays for the other's
# leftovers (their checkpoint or their vacuum by the server in the background).
rounds="${KEVRA_BENCH_ROUNDS:-3}"
batch=()
peer="mdb-export -I postgres | psql"
if [ -n "${KEVRA_BENCH_MDB_BATCH:-}" ]; then
  batch=(-S "$KEVRA_BENCH_MDB_BATCH")
  peer="mdb-export -I postgres -S $KEVRA_BENCH_MDB_BATCH | psql"
fi
total=$((rows + rows / 10))

# mdbtools: tables from mdb-schema (not timed), then its INSERT statements
# (this mdbtools version puts a few rows in each).
# Its INSERTs write Yes/No as 0 and 1, which a boolean column refuses: the
# column is made smallint so that the rows load at all.
mdb-schema "$file" postgres 2>/dev/null | sed 's/BOOLEAN/SMALLINT/' >"$tmp/schema.sql"

count() { psql -X -A -t "$conn" -c "SELECT (SELECT count(*) FROM $1.\"$2\") + (SELECT count(*) FROM $1.\"$3\")"; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-6s %-34s %10s %12s %12s %10s\n' "round" "" "seconds" "rows landed" "rows/s" "peak MiB"
: >"$tmp/ratios"
for round in $(seq 1 "$rounds"); do
  # kevra-cli: schema, rows, keys, foreign keys and the read-back verification.
  psql_run -c "CREATE SCHEMA kevra$round" -c "CHECKPOINT"
  start="$EPOCHREALTIME"
  /usr/bin/time -f "%M" -o "$tmp/kevra.rss" "$cli" upsize "$file" "$conn" --schema "kevra$round" \
    --report "$tmp/report$round.txt" >/dev/null
  end="$EPOCHREALTIME"
  kevra_secs="$(seconds "$start" "$end")"
  kevra_rows="$(count "kevra$round" Customers Orders)"
  psql_run -c "DROP SCHEMA kevra$round CASCADE" 2>/dev/null
  kevra_rate="$(awk -v n="$kevra_rows" -v t="$kevra_secs" 'BEGIN { printf "%.0f", n / t }')"

  psql_run -c "CREATE SCHEMA mdb$round"
  # (its foreign key names the tables unfolded and fails; the rest stands)
  psql -X -q "$conn" -c "SET search_path = mdb$round" -f "$tmp/schema.sql" >/dev/null 2>&1 || true
  psql_run -c "CHECKPOINT"
  mdb_secs=0
  mdb_rss=0
  for table in Customers Orders; do
    start="$EPOCHREALTIME"
    /usr/bin/time -f "%M" -o "$tmp/mdb.rss" mdb-export -I postgres "${batch[@]}" -D '%Y-%m-%d %H:%M:%S' -q "'" "$file" "$table" |
      PGOPTIONS="-c search_path=mdb$round" psql -X -q "$conn" >/dev/null 2>>"$tmp/psql.err"
    end="$EPOCHREALTIME"
    mdb_secs="$(awk -v s="$mdb_secs" -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", s + b - a }')"
    m="$(tail -n 1 "$tmp/mdb.rss")"
    if [ "$m" -gt "$mdb_rss" ]; then mdb_rss="$m"; fi
  done
  mdb_rows="$(count "mdb$round" customers orders)"  # mdb-schema folds names to lower case
  mdb_rate="$(awk -v n="$mdb_rows" -v t="$mdb_secs" 'BEGIN { printf "%.0f", n / t }')"
  psql_run -c "DROP SCHEMA mdb$round CASCADE" 2>/dev/null

  printf '%-6s %-34s %10s %12s %12s %10.1f\n' "$round" "kevra-cli upsize (incl. verify)" "$kevra_secs" \
    "$kevra_rows" "$kevra_rate" "$(awk -v k="$(tail -n 1 "$tmp/kevra.rss")" 'BEGIN { print k / 1024 }')"
  printf '%-6s %-34s %10s %12s %12s %10.1f\n' "$round" "$peer" "$mdb_secs" "$mdb_rows" \
    "$mdb_rate" "$(awk -v k="$mdb_rss" 'BEGIN { print k / 1024 }')"
  grep '^Seconds' "$tmp/report$round.txt" | sed "s/^/$round      kevra-cli /"
  awk -v a="$kevra_rate" -v b="$mdb_rate" 'BEGIN { printf "%.2f\n", a / b }' >>"$tmp/ratios"
  if [ "$mdb_rows" -ne "$total" ]; then
    echo "note: mdbtools landed $mdb_rows of $total rows ($(sort -u "$tmp/psql.err" | head -n 3 | tr '\n' ' '))"
  fi
  if [ "$kevra_rows" -ne "$total" ]; then echo "note: kevra-cli landed $kevra_rows of $total rows"; fi
done

echo
echo "Generated file: $rows + $((rows / 10)) rows ($total); local PostgreSQL on a Unix socket"
echo "rows/s ratio kevra / mdbtools by round: $(tr '\n' ' ' <"$tmp/ratios")"
echo "median rows/s ratio kevra / mdbtools: $(median <"$tmp/ratios")x"
