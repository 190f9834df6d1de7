#!/usr/bin/env bash
# Builds Kevra and starts it, optionally on a database file.
# Usage: scripts/run.sh [FILE.mdb]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

kevra_need_packages "${KEVRA_BUILD_PACKAGES[@]}" "${KEVRA_GUI_PACKAGES[@]}"

build_dir="${KEVRA_BUILD_DIR:-$kevra_root/build}"
file_arg=()
if [ "$#" -gt 0 ]; then
  # Resolve before changing directory so relative paths keep working.
  file_arg=("$(realpath -- "$1")")
fi

cmake -S "$kevra_root" -B "$build_dir" \
  -DCMAKE_BUILD_TYPE="${KEVRA_BUILD_TYPE:-RelWithDebInfo}" -DKEVRA_BUILD_GUI=ON
cmake --build "$build_dir" -j "$(kevra_jobs)" --target kevra
exec "$build_dir/app/kevra" "${file_arg[@]}"
