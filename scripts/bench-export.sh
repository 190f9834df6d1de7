#!/usr/bin/env bash
# Export speed and memory: kevra-cli against mdb-export on the benchmark file.
# Usage: scripts/bench-export.sh [RUNS]   (best of RUNS, default 3)
# Prints rows per second for kevra-cli (CSV and JSON Lines) and mdb-export on
# Customers (100,000 rows), the ratio ours / mdb-export, and the peak memory
# (max RSS) of each program on Orders (10,000 rows) and Customers.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

runs="${1:-3}"
kevra_need_packages "${KEVRA_BUILD_PACKAGES[@]}" mdbtools time

build_dir="${KEVRA_BUILD_DIR:-$kevra_root/build}"
file="$(cd "$kevra_root/../shared/samples/bench" && pwd)/medium.mdb"

cli="$(kevra_build_cli "$build_dir" "${KEVRA_BUILD_TYPE:-RelWithDebInfo}")"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# measure NAME TABLE CMD... : best wall time over $runs runs and the peak RSS (KiB).
measure() {
  local name="$1" table="$2"
  shift 2
  local best="" rss=0 i start end t m
  for ((i = 0; i < runs; i++)); do
    start="$EPOCHREALTIME"
    /usr/bin/time -f "%M" -o "$tmp/rss" "$@" >/dev/null
    end="$EPOCHREALTIME"
    t="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')"
    m="$(tail -n 1 "$tmp/rss")"
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best="$t"; fi
    if [ "$m" -gt "$rss" ]; then rss="$m"; fi
  done
  echo "$name $table $best $rss" >>"$tmp/results"
}

for table in Customers Orders; do
  measure kevra-csv "$table" "$cli" export "$file" "$table" --format csv
  measure kevra-jsonl "$table" "$cli" export "$file" "$table" --format jsonl
  measure mdb-export "$table" mdb-export "$file" "$table"
done

customers="$(mdb-count "$file" Customers)"
orders="$(mdb-count "$file" Orders)"

rate() {  # rate NAME TABLE ROWS -> rows per second
  awk -v n="$1" -v t="$2" -v rows="$3" '$1 == n && $2 == t { printf "%.0f", rows / $3 }' "$tmp/results"
}
rss() {
  awk -v n="$1" -v t="$2" '$1 == n && $2 == t { printf "%.1f", $4 / 1024 }' "$tmp/results"
}
secs() {
  awk -v n="$1" -v t="$2" '$1 == n && $2 == t { printf "%.3f", $3 }' "$tmp/results"
}

mdb_rate="$(rate mdb-export Customers "$customers")"
echo "medium.mdb, best of $runs runs, output to /dev/null"
echo
printf '%-22s %10s %14s %10s\n' "Customers ($customers rows)" "seconds" "rows/s" "vs mdb-export"
for n in kevra-csv kevra-jsonl mdb-export; do
  r="$(rate "$n" Customers "$customers")"
  printf '%-22s %10s %14s %9.2fx\n' "$n" "$(secs "$n" Customers)" "$r" "$(awk -v a="$r" -v b="$mdb_rate" 'BEGIN { print a / b }')"
done
echo
printf '%-22s %14s %14s\n' "peak memory (MiB)" "Orders ($orders)" "Customers ($customers)"
for n in kevra-csv kevra-jsonl mdb-export; do
  printf '%-22s %14s %14s\n' "$n" "$(rss "$n" Orders)" "$(rss "$n" Customers)"
done
