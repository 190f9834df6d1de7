#!/usr/bin/env bash
# Fuzzes the engine with libFuzzer, under AddressSanitizer and
# UndefinedBehaviorSanitizer.
# Usage: scripts/fuzz.sh [TARGET] [SECONDS] [extra libFuzzer options]
#   TARGET   open (default): open a file and read everything in it
#            sql:   parse and run statement text against a sample
#            check: check a whole file
#            write: change every table of a file that checks clean; it must
#                   still check clean
#   SECONDS  default 60
# Builds kevra_fuzz_TARGET with clang in build-fuzz/, seeds it with the Jet 4
# sample files read in place (statements for sql), and keeps what it learns
# in build-fuzz/corpus-TARGET/. A crashing input is written to
# build-fuzz/crashes/; replay it with
#   build-fuzz/tests/fuzz/kevra_fuzz_TARGET build-fuzz/crashes/crash-...
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

target=open
case "${1:-}" in
  open|sql|check|write) target="$1"; shift ;;
esac
seconds="${1:-60}"
shift || true

kevra_need_packages "${KEVRA_BUILD_PACKAGES[@]}" clang libclang-rt-dev

build_dir="${KEVRA_FUZZ_BUILD_DIR:-$kevra_root/build-fuzz}"
shared_dir="$(cd "$kevra_root/../shared" && pwd)"

cmake -S "$kevra_root" -B "$build_dir" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DKEVRA_BUILD_FUZZ=ON -DKEVRA_BUILD_GUI=OFF -DKEVRA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j "$(kevra_jobs)" --target "kevra_fuzz_$target"

seeds="$build_dir/seeds-$target"
rm -rf "$seeds"
mkdir -p "$seeds" "$build_dir/corpus-$target" "$build_dir/crashes"
if [ "$target" = sql ]; then
  printf '%s' "SELECT * FROM Table1 WHERE Column1 LIKE 'a*' ORDER BY 1" >"$seeds/select"
  printf '%s' "SELECT COUNT(*), MAX(Column2) FROM Table1 GROUP BY Column1 HAVING COUNT(*) > 1" >"$seeds/group"
  printf '%s' "SELECT a.* FROM Table1 a INNER JOIN Table1 b ON a.Column1 = b.Column1 WHERE a.Column2 IN (SELECT Column2 FROM Table1)" >"$seeds/join"
  printf '%s' "SELECT IIf(Column2 > 1, Format(Now(), 'yyyy'), Mid('abc', 2)) FROM Table1 UNION SELECT 'x' FROM Table1" >"$seeds/functions"
  printf '%s' "SELECT COUNT(*) AS n, MAX(b.Column2) FROM Table1 AS a, Table1 AS b WHERE a.Column2 < 3 AND a.Column1 = b.Column1" >"$seeds/comma-join"
  printf '%s' "SELECT DISTINCT TOP 2 a.Column1 FROM Table1 AS a CROSS JOIN Table1 AS b WHERE b.Column2 > 1 ORDER BY a.Column1" >"$seeds/cross-join"
else
  # The Jet 4 samples (not the Jet 3 or .accdb ones, which are refused at the
  # header), linked read-only from their folder; small ones first for speed.
  for f in "$shared_dir"/samples/*.mdb; do
    if [ "$(od -An -tx1 -j20 -N1 "$f" | tr -d ' ')" = "01" ] && [ "$(stat -c %s "$f")" -le 4194304 ]; then
      ln -s "$f" "$seeds/$(basename "$f")"
    fi
  done
fi

cd "$build_dir"
exec "./tests/fuzz/kevra_fuzz_$target" "corpus-$target" "$seeds" \
  -max_total_time="$seconds" -max_len=524288 -timeout=20 -rss_limit_mb=2048 \
  -artifact_prefix=crashes/ -print_final_stats=1 "$@"
