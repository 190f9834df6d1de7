#!/usr/bin/env bash
# Checks the include layering, builds Kevra and runs every test (engine,
# interop with mdbtools, GUI headless, writers killed at random), then gives
# each fuzz target a short run under the sanitizers.
# Usage: scripts/test.sh [extra ctest arguments]
# Environment: KEVRA_BUILD_DIR (default build/), KEVRA_BUILD_TYPE (default RelWithDebInfo),
# KEVRA_FUZZ_SECONDS (per fuzz target, default 15; 0 skips the fuzz runs).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

kevra_need_packages "${KEVRA_BUILD_PACKAGES[@]}" "${KEVRA_GUI_PACKAGES[@]}" "${KEVRA_TEST_PACKAGES[@]}"

# Every #include must point down the house (docs/architecture.md).
python3 "$kevra_root/scripts/check-layers.py" "$kevra_root"

build_dir="${KEVRA_BUILD_DIR:-$kevra_root/build}"
jobs="$(kevra_jobs)"

cmake -S "$kevra_root" -B "$build_dir" \
  -DCMAKE_BUILD_TYPE="${KEVRA_BUILD_TYPE:-RelWithDebInfo}" \
  -DKEVRA_BUILD_GUI=ON -DKEVRA_BUILD_TESTS=ON -DKEVRA_BUILD_BENCH=ON
cmake --build "$build_dir" -j "$jobs"
kevra_need_mdb_reader "$build_dir"

export QT_QPA_PLATFORM=offscreen
cd "$build_dir"
ctest --output-on-failure -j "$jobs" "$@"

fuzz_seconds="${KEVRA_FUZZ_SECONDS:-15}"
if [ "$fuzz_seconds" != 0 ]; then
  for target in open sql check write; do
    "$kevra_root/scripts/fuzz.sh" "$target" "$fuzz_seconds" >"$build_dir/fuzz-$target.log" 2>&1 || {
      tail -n 40 "$build_dir/fuzz-$target.log"
      echo "fuzz target $target found a problem (log above; inputs in build-fuzz/crashes/)" >&2
      exit 1
    }
    grep -E '^stat::number_of_executed_units' "$build_dir/fuzz-$target.log" | sed "s/^/fuzz $target: /"
  done
fi
