#!/usr/bin/env bash
# ORDER BY on a column without an index: kevra-cli against sqlite3 sorting
# the same rows (the SQLite copy made by our own upsize, so both hold the
# same rows and indexes).
# Usage: scripts/bench-sort.sh [ROWS] [RUNS]   (default 1000000 rows, 3 runs)
# Runs the two in turns and prints each one's median wall time, its peak
# memory (max RSS) and the ratio ours / sqlite3.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

rows="${1:-1000000}"
runs="${2:-3}"
kevra_need_packages "${KEVRA_BUILD_PACKAGES[@]}" sqlite3 time

build_dir="${KEVRA_BUILD_DIR:-$kevra_root/build}"
cli="$(kevra_build_cli "$build_dir" "${KEVRA_BUILD_TYPE:-RelWithDebInfo}")"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
"$cli" generate "$tmp/sort.mdb" --rows "$rows" >/dev/null
"$cli" upsize "$tmp/sort.mdb" "sqlite:$tmp/sort.sqlite" >/dev/null

query="SELECT * FROM Customers ORDER BY Score"
for ((i = 0; i < runs; i++)); do
  /usr/bin/time -f "kevra %e %M" -a -o "$tmp/results" "$cli" sql "$tmp/sort.mdb" "$query" >/dev/null
  /usr/bin/time -f "sqlite3 %e %M" -a -o "$tmp/results" sqlite3 "$tmp/sort.sqlite" "$query" >/dev/null
done

median() {  # median NAME -> seconds
  awk -v n="$1" '$1 == n { print $2 }' "$tmp/results" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
peak() {  # peak NAME -> MiB
  awk -v n="$1" '$1 == n && $3 > m { m = $3 } END { printf "%.1f", m / 1024 }' "$tmp/results"
}
ours="$(median kevra)"
theirs="$(median sqlite3)"
echo "$query, $rows rows, median of $runs runs in turns, output to /dev/null"
printf "kevra-cli  %8.2f s  %8s MiB\n" "$ours" "$(peak kevra)"
printf "sqlite3    %8.2f s  %8s MiB\n" "$theirs" "$(peak sqlite3)"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio kevra / sqlite3: %.2f\n", a / b }'
