# Shared helpers for the scripts in this folder (sourced, not run).
# Installs Debian packages only when they are missing.

kevra_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

kevra_as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  else
    sudo "$@"
  fi
}

# kevra_need_packages PKG... : apt-get install whatever is not installed yet.
kevra_need_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg -s "$p" >/dev/null 2>&1 ||
       ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]}" >&2
    kevra_as_root env DEBIAN_FRONTEND=noninteractive apt-get update
    kevra_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

# Packages for building the engine (libcrypto for encrypted files), the CLI
# and the tests.
KEVRA_BUILD_PACKAGES=(cmake g++ make pkg-config libgtest-dev libgmock-dev googletest libbenchmark-dev libsqlite3-dev libpq-dev libssl-dev)
# The Qt application.
KEVRA_GUI_PACKAGES=(qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools libgl1-mesa-dev libglx-dev)
# Headless GUI tests, the independent readers used as oracles (mdbtools for
# Jet files; dbfread, xlrd, Gnumeric's ssconvert and pxlib for the foreign
# formats), python3 for the layering check, and a PostgreSQL server and
# sqlite3 for the upsize tests.
KEVRA_TEST_PACKAGES=(mdbtools xvfb xauth time python3 python3-dbfread python3-xlrd gnumeric pxlib-dev postgresql sqlite3)

# kevra_need_mdb_reader BUILD_DIR : installs mdb-reader, the second independent
# reader of Access files, beside the script the build copied there
# (tests/interop/mdb_reader), once. Node.js and npm come from Debian unless
# the machine has them already (a Node.js package that bundles npm conflicts
# with Debian's npm).
kevra_need_mdb_reader() {
  local dir="$1/mdb-reader"
  if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    kevra_need_packages nodejs npm
  fi
  if [ -f "$dir/package.json" ] && [ ! -d "$dir/node_modules/mdb-reader" ]; then
    (cd "$dir" && npm install --no-package-lock --no-audit --no-fund --loglevel=error)
  fi
}

# kevra_build_cli BUILD_DIR BUILD_TYPE : configures BUILD_DIR and builds
# kevra-cli there, quietly; prints the program's path.
kevra_build_cli() {
  cmake -S "$kevra_root" -B "$1" -DCMAKE_BUILD_TYPE="$2" >/dev/null
  cmake --build "$1" -j "$(kevra_jobs)" --target kevra-cli >/dev/null
  echo "$1/cli/kevra-cli"
}

kevra_jobs() {
  # At most two parallel jobs: the machines are shared.
  local n
  n="$(nproc 2>/dev/null || echo 1)"
  if [ "$n" -gt 2 ]; then n=2; fi
  echo "$n"
}
