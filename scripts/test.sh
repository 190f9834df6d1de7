#!/usr/bin/env bash
# Builds Kevra and runs every test (engine, interop with mdbtools, GUI headless).
# Usage: scripts/test.sh [extra ctest arguments]
# Environment: KEVRA_BUILD_DIR (default build/), KEVRA_BUILD_TYPE (default RelWithDebInfo).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

kevra_need_packages "${KEVRA_BUILD_PACKAGES[@]}" "${KEVRA_GUI_PACKAGES[@]}" "${KEVRA_TEST_PACKAGES[@]}"

build_dir="${KEVRA_BUILD_DIR:-$kevra_root/build}"
jobs="$(kevra_jobs)"

cmake -S "$kevra_root" -B "$build_dir" \
  -DCMAKE_BUILD_TYPE="${KEVRA_BUILD_TYPE:-RelWithDebInfo}" \
  -DKEVRA_BUILD_GUI=ON -DKEVRA_BUILD_TESTS=ON -DKEVRA_BUILD_BENCH=ON
cmake --build "$build_dir" -j "$jobs"

export QT_QPA_PLATFORM=offscreen
cd "$build_dir"
ctest --output-on-failure -j "$jobs" "$@"
