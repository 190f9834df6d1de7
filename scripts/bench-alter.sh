#!/usr/bin/env bash
# ALTER COLUMN on a generated table against a full export of the same table,
# both as whole processes (seconds and peak memory from /usr/bin/time).
# Usage: scripts/bench-alter.sh [ROWS]   (default 1000000; needs a built kevra-cli)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

rows="${1:-1000000}"
cli="${KEVRA_BUILD_DIR:-$kevra_root/build}/cli/kevra-cli"
[ -x "$cli" ] || { echo "build kevra-cli first (scripts/test.sh)" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$cli" generate "$work/base.mdb" --rows "$rows" >/dev/null
measure() {  # LABEL COMMAND...
  local label="$1"; shift
  /usr/bin/time -f "$label: %e s, peak %M KB" "$@" >/dev/null
}
measure "export Customers to CSV      " "$cli" export "$work/base.mdb" Customers --output "$work/c.csv"
cp "$work/base.mdb" "$work/a.mdb"
measure "ALTER Name TEXT(60) -> TEXT(80)" "$cli" sql "$work/a.mdb" "ALTER TABLE Customers ALTER COLUMN Name TEXT(80)"
cp "$work/base.mdb" "$work/b.mdb"
measure "ALTER Qty LONG -> DOUBLE       " "$cli" sql "$work/b.mdb" "ALTER TABLE Customers ALTER COLUMN Qty DOUBLE"
"$cli" check "$work/b.mdb" | tail -1
