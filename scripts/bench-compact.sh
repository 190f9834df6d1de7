#!/usr/bin/env bash
# Compaction of a generated database against a plain copy of the same file,
# both as whole processes, in turns (copy, compact, copy, compact...): seconds
# and peak memory from /usr/bin/time, and the median of the pairs' ratios;
# then the peak memory of compacting files a tenth and twice the size, to
# show whether memory grows with the file.
# Usage: scripts/bench-compact.sh [ROWS] [RUNS]   (defaults 1000000 and 5; needs a built kevra-cli)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

rows="${1:-1000000}"
runs="${2:-5}"
cli="${KEVRA_BUILD_DIR:-$kevra_root/build}/cli/kevra-cli"
[ -x "$cli" ] || { echo "build kevra-cli first (scripts/test.sh)" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$cli" generate "$work/base.mdb" --rows "$rows" >/dev/null
echo "source: $(du -m "$work/base.mdb" | cut -f1) MB, $rows rows"
ratios=()
for ((i = 1; i <= runs; i++)); do
  rm -f "$work/copy.mdb" "$work/compact.mdb"
  copy=$( { /usr/bin/time -f "%e %M" cp "$work/base.mdb" "$work/copy.mdb"; } 2>&1 )
  compact=$( { /usr/bin/time -f "%e %M" "$cli" compact "$work/base.mdb" "$work/compact.mdb" >/dev/null; } 2>&1 )
  read -r cs cm <<<"$copy"
  read -r ks km <<<"$compact"
  ratio=$(awk -v a="$ks" -v b="$cs" 'BEGIN { printf "%.1f", (b > 0 ? a / b : 0) }')
  ratios+=("$ratio")
  echo "run $i: cp $cs s (peak $cm KB), compact $ks s (peak $km KB), ratio $ratio"
done
printf '%s\n' "${ratios[@]}" | sort -n | awk '{ r[NR] = $1 } END { print "median ratio compact/cp: " r[int((NR + 1) / 2)] }'
"$cli" check "$work/compact.mdb" | tail -1
for scale in 10 0.5; do
  other=$(awk -v r="$rows" -v s="$scale" 'BEGIN { printf "%d", r / s }')
  rm -f "$work/other.mdb" "$work/other-compact.mdb"
  "$cli" generate "$work/other.mdb" --rows "$other" >/dev/null
  peak=$( { /usr/bin/time -f "%M" "$cli" compact "$work/other.mdb" "$work/other-compact.mdb" >/dev/null; } 2>&1 )
  echo "peak memory compacting $other rows ($(du -m "$work/other.mdb" | cut -f1) MB): $peak KB"
done
