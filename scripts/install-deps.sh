#!/usr/bin/env bash
# Installs the Debian packages that building and testing kxsql need, only
# those that are missing. Needs root (or sudo) when anything is missing.
#   scripts/install-deps.sh          what `make test` and `make demo` need
#   scripts/install-deps.sh bench    and libpg_query and sqlparse, for `make bench`
#   scripts/install-deps.sh docs     and Doxygen, for `make docs`
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libbenchmark-dev
  libsqlite3-dev sqlite3
  unixodbc-dev odbc-postgresql postgresql libsqliteodbc
  mariadb-server mariadb-client odbc-mariadb
  libcli11-dev nlohmann-json3-dev
  pybind11-dev python3-dev python3-pytest
)
for extra in "$@"; do
  case "$extra" in
    bench) packages+=(libpg-query-dev python3-sqlparse) ;;
    docs) packages+=(doxygen) ;;
    *) echo "install-deps.sh: unknown group '$extra' (bench, docs)" >&2; exit 64 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo_cmd=()
elif command -v sudo >/dev/null 2>&1; then
  sudo_cmd=(sudo)
else
  echo "error: missing packages (${missing[*]}) and not root; install them first" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
