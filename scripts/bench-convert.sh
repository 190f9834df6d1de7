#!/usr/bin/env bash
# Import and export speed and memory of the text driver: a generated CSV of
# ROWS lines (default 1,000,000) imported into a new table with kevra-cli
# import, and the table exported back to CSV with kevra-cli export --to text.
# Peers measured in the same run: sqlite3's .import of the same CSV (import)
# and mdb-export of the same table (export). A second run with a tenth of the
# rows shows whether peak memory stays flat.
# Usage: scripts/bench-convert.sh [ROWS] [RUNS]   (best of RUNS, default 3)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

rows="${1:-1000000}"
runs="${2:-3}"
kevra_need_packages "${KEVRA_BUILD_PACKAGES[@]}" mdbtools sqlite3 time python3

build_dir="${KEVRA_BUILD_DIR:-$kevra_root/build-release}"
cli="$(kevra_build_cli "$build_dir" "${KEVRA_BUILD_TYPE:-Release}")"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# make_csv FILE LINES: an ID, a name, a price, a signed quantity, a date and a
# quoted note with a comma in it, on every line.
make_csv() {
  python3 - "$1" "$2" <<'PY'
import random, sys
random.seed(1)
with open(sys.argv[1], "w") as f:
    f.write("ID,Name,Price,Qty,Added,Note\n")
    for i in range(1, int(sys.argv[2]) + 1):
        f.write('%d,"Customer %d",%.2f,%d,2024-%02d-%02d,"note %d, with comma"\n'
                % (i, i, random.random() * 1000, random.randint(-5000, 5000), i % 12 + 1, i % 28 + 1, i))
PY
}

# measure NAME SIZE COMMAND...: best wall time over $runs runs and the peak RSS (KiB).
measure() {
  local name="$1" size="$2"
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
  echo "$name $size $best $rss" >>"$tmp/results"
}

for size in "$rows" "$((rows / 10))"; do
  dir="$tmp/$size"
  mkdir -p "$dir/out"
  make_csv "$dir/data.csv" "$size"
  measure kevra-import "$size" sh -c "rm -f '$dir/t.mdb' && '$cli' create '$dir/t.mdb' && '$cli' import '$dir/t.mdb' '$dir/data.csv'"
  measure sqlite3-import "$size" sh -c "rm -f '$dir/s.db' && sqlite3 '$dir/s.db' '.import --csv $dir/data.csv data'"
  measure kevra-export "$size" sh -c "rm -rf '$dir/out' && mkdir '$dir/out' && '$cli' export '$dir/t.mdb' data --to text '$dir/out'"
  measure mdb-export "$size" sh -c "mdb-export '$dir/t.mdb' data > '$dir/peer.csv'"
  lines="$(($(wc -l <"$dir/out/data.txt") - 1))"
  [ "$lines" -eq "$size" ] || { echo "export wrote $lines rows, not $size" >&2; exit 1; }
done

rate() { awk -v n="$1" -v s="$2" '$1 == n && $2 == s { printf "%.0f", s / $3 }' "$tmp/results"; }
secs() { awk -v n="$1" -v s="$2" '$1 == n && $2 == s { printf "%.2f", $3 }' "$tmp/results"; }
rss() { awk -v n="$1" -v s="$2" '$1 == n && $2 == s { printf "%.1f", $4 / 1024 }' "$tmp/results"; }
ratio() { awk -v a="$(rate "$1" "$rows")" -v b="$(rate "$2" "$rows")" 'BEGIN { printf "%.2fx", a / b }'; }

echo "CSV of $rows lines (best of $runs runs); peak memory at $rows and at $((rows / 10)) lines"
echo
printf '%-16s %9s %12s %10s %16s %16s\n' "" "seconds" "rows/s" "vs peer" "peak MiB (full)" "peak MiB (1/10)"
for pair in "kevra-import sqlite3-import" "sqlite3-import sqlite3-import" "kevra-export mdb-export" "mdb-export mdb-export"; do
  set -- $pair
  printf '%-16s %9s %12s %10s %16s %16s\n' "$1" "$(secs "$1" "$rows")" "$(rate "$1" "$rows")" "$(ratio "$1" "$2")" \
    "$(rss "$1" "$rows")" "$(rss "$1" "$((rows / 10))")"
done
echo
echo "targets: import >= 150000 rows/s, export >= 300000 rows/s"
