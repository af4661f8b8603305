#!/usr/bin/env bash
# build_examples.sh BUILD-DIR SOURCE-DIR
# The examples, as an application developer builds them: against the
# installed package, through CMake and through pkg-config.
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" > "$work/install.log"

fail() { echo "FAIL: $*" >&2; exit 1; }
expect() {  # expect OUTPUT-FILE TEXT: the output holds TEXT
  grep -qF -- "$2" "$1" || { echo "--- $1:" >&2; cat "$1" >&2; fail "missing: $2"; }
}

# Through CMake's package.
cmake -S "$source/examples" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release > "$work/configure.log" \
  || { cat "$work/configure.log" >&2; fail "configure"; }
cmake --build "$work/cmake" -j 2 > "$work/build.log" 2>&1 || { cat "$work/build.log" >&2; fail "build"; }

# Through pkg-config, one compiler line an example.
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/x86_64-linux-gnu/pkgconfig:$prefix/lib64/pkgconfig"
mkdir -p "$work/pc"
for example in split_file compare_scripts run_script run_script_wide custom_separator native_dump; do
  # shellcheck disable=SC2046
  g++ -std=c++17 -Wall -Wextra "$source/examples/$example.cpp" -o "$work/pc/$example" \
    $(pkg-config --cflags --libs kxsql) -pthread -Wl,-rpath,"$(pkg-config --variable=libdir kxsql)" \
    || fail "pkg-config build of $example"
done

for bin in "$work/cmake" "$work/pc"; do
  out=$work/out.txt
  "$bin/split_file" oracle "$source/examples/scripts/payroll.sql" > "$out"
  expect "$out" "CREATE OR REPLACE PROCEDURE raise_salaries"
  expect "$out" "side effect: NEXTVAL"
  expect "$out" "8 statements"

  printf 'select a,b from t; -- x\n' > "$work/one.sql"
  printf 'SELECT a , b\n  FROM t ;' > "$work/two.sql"
  "$bin/compare_scripts" "$work/one.sql" "$work/two.sql" > "$out"
  expect "$out" "the scripts are the same, token by token"
  printf 'SELECT a , c FROM t;' > "$work/three.sql"
  if "$bin/compare_scripts" "$work/one.sql" "$work/three.sql" > "$out"; then fail "different scripts compared equal"; fi
  expect "$out" "the scripts differ"

  rm -f "$work/shop.db"
  "$bin/run_script" "$work/shop.db" "$source/examples/scripts/bookshop.sql" > "$out"
  expect "$out" "result 0: "
  expect "$out" ", 0 errors"
  printf 'create table t(a);\ninsert into nowhere values (1);\ninsert into t values (1);\n' > "$work/bad.sql"
  rm -f "$work/bad.db"
  if "$bin/run_script" "$work/bad.db" "$work/bad.sql" 1 > "$out"; then fail "the error limit did not stop the run"; fi
  expect "$out" "no such table: nowhere"
  expect "$out" "result -1: 2 statements, 1 errors"

  "$bin/run_script_wide" > "$out" || true
  expect "$out" "INSERT INTO nowhere VALUES (1)"
  expect "$out" "result 0: 5 statements, 1 errors"

  "$bin/native_dump" postgres "$source/examples/scripts/pg_dump_excerpt.sql" > "$out"
  expect "$out" "--- 4, SQL: COPY public.book (id, title, changed) FROM stdin"
  expect "$out" "Ficciones"
  expect "$out" "6 statements"

  "$bin/custom_separator" > "$out"
  expect "$out" "batch 2:"
  expect "$out" "EXEC greet; EXEC greet;"
done
echo "examples built and ran against the installed package"
