#!/usr/bin/env bash
# Fuzzes opening and reading a database file with libFuzzer.
# Usage: scripts/fuzz.sh [SECONDS] [extra libFuzzer options]   (default 60 s)
# Builds kevra_fuzz_open with clang in build-fuzz/ (AddressSanitizer and
# UndefinedBehaviorSanitizer), seeds it with the Jet 4 sample files read in
# place, and keeps what it learns in build-fuzz/corpus/. A crashing input is
# written to build-fuzz/crashes/; replay it with
#   build-fuzz/tests/fuzz/kevra_fuzz_open build-fuzz/crashes/crash-...
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

seconds="${1:-60}"
shift || true

kevra_need_packages "${KEVRA_BUILD_PACKAGES[@]}" clang libclang-rt-dev

build_dir="${KEVRA_FUZZ_BUILD_DIR:-$kevra_root/build-fuzz}"
shared_dir="$(cd "$kevra_root/../shared" && pwd)"

cmake -S "$kevra_root" -B "$build_dir" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DKEVRA_BUILD_FUZZ=ON -DKEVRA_BUILD_GUI=OFF -DKEVRA_BUILD_BENCH=OFF
cmake --build "$build_dir" -j "$(kevra_jobs)" --target kevra_fuzz_open

# Seeds: the Jet 4 samples (not the Jet 3 or .accdb ones, which are refused at
# the header), linked read-only from their folder.
seeds="$build_dir/seeds"
rm -rf "$seeds"
mkdir -p "$seeds" "$build_dir/corpus" "$build_dir/crashes"
for f in "$shared_dir"/samples/*.mdb; do
  if [ "$(od -An -tx1 -j20 -N1 "$f" | tr -d ' ')" = "01" ]; then
    ln -s "$f" "$seeds/$(basename "$f")"
  fi
done

cd "$build_dir"
exec ./tests/fuzz/kevra_fuzz_open corpus seeds \
  -max_total_time="$seconds" -max_len=524288 -timeout=20 -rss_limit_mb=2048 \
  -artifact_prefix=crashes/ -print_final_stats=1 "$@"
