#!/usr/bin/env bash
# One-row work through indexes: the same statements on a generated
# 1,000,000-row Customers table (autonumber key, indexed Name, unindexed Qty;
# Orders of 100,000 rows with an enforced relationship) and on a 1,000-row
# one, run in turn (big, small, big, small ...). Prints the median seconds of
# each and the ratio big / small (the aim: within 2x), peak memory, the rows
# per second of 100,000 Orders inserted with their parent checked, COUNT(*)
# against opening the file, and CSV export against mdb-export.
# Usage: scripts/bench-indexes.sh [RUNS]   (default 7)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

runs="${1:-7}"
kevra_need_packages "${KEVRA_BUILD_PACKAGES[@]}" mdbtools time

build_dir="${KEVRA_BUILD_DIR:-$kevra_root/build}"
cli="$(kevra_build_cli "$build_dir" "${KEVRA_BUILD_TYPE:-RelWithDebInfo}")"

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
"$cli" generate "$tmp/big.mdb" --rows 1000000 >/dev/null
"$cli" generate "$tmp/small.mdb" --rows 1000 >/dev/null
# Customers nothing refers to, for the deletes (ids 5000001 on).
for f in big small; do
  "$cli" sql "$tmp/$f.mdb" "INSERT INTO Customers (ID, Name, Qty) SELECT TOP $((runs + 2)) ID + 5000000, Name, Qty FROM Customers" >/dev/null
done

# once CMD... : wall seconds of one run; its peak memory (KiB) into $tmp/rss,
# its processor seconds (user + system) into $tmp/cpu.
once() {
  local start end
  start="$EPOCHREALTIME"
  /usr/bin/time -f "%M %U %S" -o "$tmp/time" "$@" >/dev/null
  tail -n 1 "$tmp/time" | awk '{ print $1 }' >"$tmp/rss"
  tail -n 1 "$tmp/time" | awk '{ print $2 + $3 }' >>"$tmp/cpu"
  end="$EPOCHREALTIME"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# pair NAME SQL_BIG SQL_SMALL : runs both in turn; "@" in the SQL becomes the run number.
pair() {
  local name="$1" big="$2" small="$3" i tb ts rb=0 rs=0 m
  : >"$tmp/tb"
  : >"$tmp/ts"
  for ((i = 1; i <= runs; i++)); do
    once "$cli" sql "$tmp/big.mdb" "${big//@/$i}" >>"$tmp/tb"
    m="$(cat "$tmp/rss")"; [ "$m" -gt "$rb" ] && rb="$m"
    once "$cli" sql "$tmp/small.mdb" "${small//@/$i}" >>"$tmp/ts"
    m="$(cat "$tmp/rss")"; [ "$m" -gt "$rs" ] && rs="$m"
  done
  tb="$(median <"$tmp/tb")"
  ts="$(median <"$tmp/ts")"
  printf '%-44s %9.4f %9.4f %7.2fx %9.1f %9.1f\n' "$name" "$tb" "$ts" "$(awk -v a="$tb" -v b="$ts" 'BEGIN { print a / b }')" \
    "$(awk -v k="$rb" 'BEGIN { print k / 1024 }')" "$(awk -v k="$rs" 'BEGIN { print k / 1024 }')"
}

echo "median of $runs runs each, whole kevra-cli processes"
printf '%-44s %9s %9s %8s %9s %9s\n' "statement" "1M s" "1k s" "1M/1k" "1M MiB" "1k MiB"
pair "SELECT * WHERE ID = n (primary key)" "SELECT * FROM Customers WHERE ID = 777777" "SELECT * FROM Customers WHERE ID = 777"
name_of() {  # name_of FILE ID: the Name of that customer
  "$cli" sql "$1" "SELECT Name FROM Customers WHERE ID = $2" | sed -e 's/^{"Name":"//' -e 's/"}$//'
}
pair "SELECT * WHERE Name = text (index Name)" "SELECT * FROM Customers WHERE Name = '$(name_of "$tmp/big.mdb" 777777)'" \
  "SELECT * FROM Customers WHERE Name = '$(name_of "$tmp/small.mdb" 777)'"
pair "UPDATE SET Qty = 6 WHERE ID = n" "UPDATE Customers SET Qty = 6 WHERE ID = 777777" "UPDATE Customers SET Qty = 6 WHERE ID = 777"
pair "DELETE WHERE ID = n (Orders checked)" "DELETE FROM Customers WHERE ID = 500000@" "DELETE FROM Customers WHERE ID = 500000@"
pair "INSERT one Orders row (parent checked)" "INSERT INTO Orders (CustomerID, Amount) VALUES (999999, 1)" "INSERT INTO Orders (CustomerID, Amount) VALUES (999, 1)"
pair "SELECT TOP 10 * ORDER BY Name (index)" "SELECT TOP 10 * FROM Customers ORDER BY Name" "SELECT TOP 10 * FROM Customers ORDER BY Name"
pair "SELECT TOP 10 * ORDER BY Qty (no index)" "SELECT TOP 10 * FROM Customers ORDER BY Qty" "SELECT TOP 10 * FROM Customers ORDER BY Qty"
pair "SELECT COUNT(*)" "SELECT COUNT(*) FROM Customers" "SELECT COUNT(*) FROM Customers"

# COUNT(*) against opening the file and listing its tables.
: >"$tmp/tc"
: >"$tmp/to"
for ((i = 1; i <= runs; i++)); do
  once "$cli" sql "$tmp/big.mdb" "SELECT COUNT(*) FROM Customers" >>"$tmp/tc"
  once "$cli" tables "$tmp/big.mdb" >>"$tmp/to"
done
tc="$(median <"$tmp/tc")"
to="$(median <"$tmp/to")"
printf '\nCOUNT(*) on 1M rows %.4f s, opening the file (tables) %.4f s: %.2fx\n' "$tc" "$to" "$(awk -v a="$tc" -v b="$to" 'BEGIN { print a / b }')"

# 100,000 Orders rows inserted in one statement, each checked against 1M Customers.
: >"$tmp/ti"
: >"$tmp/cpu"
for ((i = 1; i <= 3; i++)); do
  cp "$tmp/big.mdb" "$tmp/copy.mdb"
  # The copy's pages go to disk first: otherwise the commit's fsync of the
  # file would write out the whole fresh copy and time cp, not the insert.
  sync "$tmp/copy.mdb"
  once "$cli" sql "$tmp/copy.mdb" "INSERT INTO Orders (CustomerID, Amount, Ordered) SELECT CustomerID, Amount, Ordered FROM Orders" >>"$tmp/ti"
done
ti="$(median <"$tmp/ti")"
tcpu="$(median <"$tmp/cpu")"
printf 'INSERT 100,000 Orders rows (parent checked): %.3f s wall, %.0f rows/s; %.3f s processor, %.0f rows/s\n' "$ti" \
  "$(awk -v t="$ti" 'BEGIN { print 100000 / t }')" "$tcpu" "$(awk -v t="$tcpu" 'BEGIN { print 100000 / t }')"

# CSV export of the 1M Customers against mdb-export.
: >"$tmp/tk"
: >"$tmp/tm"
for ((i = 1; i <= 3; i++)); do
  once "$cli" export "$tmp/big.mdb" Customers --format csv >>"$tmp/tk"
  km="$(cat "$tmp/rss")"
  once mdb-export "$tmp/big.mdb" Customers >>"$tmp/tm"
done
tk="$(median <"$tmp/tk")"
tm="$(median <"$tmp/tm")"
printf 'CSV export of 1M Customers: kevra-cli %.3f s (%.1f MiB), mdb-export %.3f s: %.2fx faster\n' "$tk" \
  "$(awk -v k="$km" 'BEGIN { print k / 1024 }')" "$tm" "$(awk -v a="$tm" -v b="$tk" 'BEGIN { print a / b }')"
