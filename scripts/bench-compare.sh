#!/usr/bin/env bash
# Compares kxsql's statement splitting with the tools users would pick
# instead, and with itself, on generated scripts:
#   - libpg_query's pg_query_split_with_scanner and Python's sqlparse.split
#     on a PostgreSQL script with `$$` function bodies, which all three must
#     cut into the same number of statements;
#   - kxsql's run-based splitting against its token path (every token through
#     GetToken, as before the run-based path) on a SQL Server script with GO
#     batches and procedures and on an Oracle script of PL/SQL blocks;
#   - the native rules (each dialect cut as its own client cuts it) beside
#     the classic rules on all three scripts;
#   - peak memory while splitting a 1 GB file through the file source;
#   - `kxsql run` of 100,000 inserts into a new SQLite file beside the sqlite3
#     shell reading the same script;
#   - `kxsql run` of a pg_dump-shaped script with 100,000 rows of COPY data
#     into PostgreSQL over ODBC beside `psql -f` (scripts/bench-pg-load.sh).
#
# Usage: scripts/bench-compare.sh [BUILD_DIR]      (make bench runs it)
# Environment:
#   KXSQL_BENCH_MB       size of the PostgreSQL, SQL Server and Oracle scripts in MB (20)
#   KXSQL_BENCH_REPEAT   timed runs per measure; the median counts (5)
#   KXSQL_BENCH_ROUNDS   rounds of all measures; the best round counts (3)
#   KXSQL_BENCH_BIG      0 leaves out the 1 GB memory check (1)
#   KXSQL_BENCH_RUN      0 leaves out the kxsql run / sqlite3 comparison (1)
#   KXSQL_BENCH_DATA     where the generated scripts go (BUILD_DIR/bench-data)
#
# Throughput is in MB of the script's UTF-8 text per second of the process's
# CPU time, so the 16-bit and UTF-16 runs compare on the same text, and the
# figures hold on a machine that is busy with other work. Other work can
# still slow a measure down, never speed it up: every measure is taken in
# each of several rounds, one after the other, and the best round counts, so
# that the ratios between measures hold too. Exits 1 when the splitters
# disagree on the number of statements.
set -euo pipefail

cd "$(dirname "$0")/.."
BUILD=${1:-build}
MB=${KXSQL_BENCH_MB:-20}
REPEAT=${KXSQL_BENCH_REPEAT:-5}
ROUNDS=${KXSQL_BENCH_ROUNDS:-3}
BIG=${KXSQL_BENCH_BIG:-1}
RUN=${KXSQL_BENCH_RUN:-1}
DATA=${KXSQL_BENCH_DATA:-$BUILD/bench-data}
# sqlparse is slow: it gets a 2 MB script, the first statements of the large one.
SMALL_MB=2

GEN=$BUILD/bench/kxsql_gen_corpus
KXSPLIT=$BUILD/bench/kxsql_split
PGSPLIT=$BUILD/bench/pg_query_split
SQLPARSE=bench/sqlparse_split.py
CLI=$BUILD/cli/kxsql

for tool in "$GEN" "$KXSPLIT"; do
  if [ ! -x "$tool" ]; then
    echo "bench-compare: $tool is missing; build with -DKXSQL_BUILD_BENCH=ON first" >&2
    exit 2
  fi
done
have_pg=1
if [ ! -x "$PGSPLIT" ]; then
  have_pg=0
  echo "note: $PGSPLIT was not built (libpg_query missing; Debian: libpg-query-dev): pg_query is left out"
fi
# The interpreter on the PATH may be one without the system's packages.
python=
for candidate in python3 /usr/bin/python3; do
  if command -v "$candidate" >/dev/null 2>&1 && "$candidate" -c 'import sqlparse' 2>/dev/null; then
    python=$candidate
    break
  fi
done
[ -n "$python" ] || echo "note: no Python with sqlparse (Debian: python3-sqlparse): sqlparse is left out"

mkdir -p "$DATA"
PG=$DATA/postgres-${MB}M.sql
PG16=$DATA/postgres-${MB}M-utf16le.sql
PGSMALL=$DATA/postgres-${SMALL_MB}M.sql
MS=$DATA/sqlserver-${MB}M.sql
ORA=$DATA/oracle-${MB}M.sql

echo "== generating scripts in $DATA"
"$GEN" postgres "${MB}M" "$PG"
"$GEN" postgres "${MB}M" "$PG16" --utf16le
"$GEN" postgres "${SMALL_MB}M" "$PGSMALL"
"$GEN" sqlserver "${MB}M" "$MS"
"$GEN" oracle "${MB}M" "$ORA"

# Every driver prints "NAME mbps=X statements=N seconds=S bytes=B" lines.
RESULTS=$DATA/results.txt
: > "$RESULTS"
measure() {  # LABEL COMMAND...
  local label=$1
  shift
  local out
  if ! out=$("$@"); then
    echo "bench-compare: failed: $*" >&2
    exit 2
  fi
  printf '%s\n' "$out" | sed -n "s/^\([a-z0-9_-]*\) \(mbps=.*\)/$label \1 \2/p" >> "$RESULTS"
  printf '%s\n' "$out" | sed -n "s/^peak_rss_kb=\(.*\)/$label peak_rss_kb=\1/p" >> "$RESULTS"
}

echo "== splitting (median of $REPEAT runs each, best of $ROUNDS rounds; sqlparse 3 runs on the ${SMALL_MB} MB script, once)"
for round in $(seq "$ROUNDS"); do
  measure pg "$KXSPLIT" --dialect postgres --repeat "$REPEAT" "$PG" --utf16-file "$PG16"
  measure pg "$KXSPLIT" --rules native --dialect postgres --repeat "$REPEAT" --modes text8,text16,file8 "$PG"
  measure pg "$KXSPLIT" --token-path --dialect postgres --repeat "$REPEAT" --modes text8 "$PG"
  if [ $have_pg = 1 ]; then measure pg "$PGSPLIT" --repeat "$REPEAT" "$PG"; fi
  measure small "$KXSPLIT" --dialect postgres --repeat "$REPEAT" --modes text8 "$PGSMALL"
  if [ $have_pg = 1 ]; then measure small "$PGSPLIT" --repeat "$REPEAT" "$PGSMALL"; fi
  if [ -n "$python" ] && [ "$round" = 1 ]; then measure small "$python" "$SQLPARSE" --repeat 3 "$PGSMALL"; fi
  for corpus in ms:sqlserver:"$MS" ora:oracle:"$ORA"; do
    IFS=: read -r label dialect file <<< "$corpus"
    measure "$label" "$KXSPLIT" --dialect "$dialect" --repeat "$REPEAT" --modes text8,text16,file8 "$file"
    measure "$label" "$KXSPLIT" --rules native --dialect "$dialect" --repeat "$REPEAT" --modes text8 "$file"
    measure "$label" "$KXSPLIT" --token-path --dialect "$dialect" --repeat "$REPEAT" --modes text8 "$file"
  done
done

# field CORPUS TOOL KEY -> the value of the best round (the highest mbps;
# for other keys the last), or empty
field() {
  awk -v c="$1" -v t="$2" -v k="$3" '$1 == c && $2 == t {
    for (i = 3; i <= NF; i++) { split($i, kv, "="); if (kv[1] == k && (k != "mbps" || v == "" || kv[2] + 0 > v + 0)) v = kv[2] } }
    END { if (v != "") print v }' "$RESULTS"
}

echo
echo "Splitting throughput, MB of UTF-8 text per CPU second (median of a round's runs, best round)"
printf '%-24s %-30s %10s %12s\n' "script" "splitter" "MB/s" "statements"
row() {  # CORPUS-LABEL CORPUS TOOL CAPTION
  local mbps
  mbps=$(field "$2" "$3" mbps)
  [ -n "$mbps" ] && printf '%-24s %-30s %10s %12s\n' "$1" "$4" "$mbps" "$(field "$2" "$3" statements)"
  return 0
}
row "postgres ${MB} MB" pg pg_query "pg_query (scanner split)"
row "postgres ${MB} MB" pg kxsql-text8 "kxsql 8-bit text"
row "postgres ${MB} MB" pg kxsql-text16 "kxsql 16-bit text"
row "postgres ${MB} MB" pg kxsql-file8 "kxsql file, UTF-8"
row "postgres ${MB} MB" pg kxsql-file16 "kxsql file, UTF-16 LE"
row "postgres ${MB} MB" pg kxsql-native-text8 "kxsql native rules, 8-bit"
row "postgres ${MB} MB" pg kxsql-native-text16 "kxsql native rules, 16-bit"
row "postgres ${MB} MB" pg kxsql-native-file8 "kxsql native rules, file"
row "postgres ${MB} MB" pg kxsql-tokens-text8 "kxsql token path, 8-bit"
row "postgres ${SMALL_MB} MB" small pg_query "pg_query (scanner split)"
row "postgres ${SMALL_MB} MB" small sqlparse "sqlparse.split"
row "postgres ${SMALL_MB} MB" small kxsql-text8 "kxsql 8-bit text"
for corpus in "ms:sqlserver ${MB} MB (GO)" "ora:oracle ${MB} MB (PL/SQL)"; do
  label=${corpus%%:*}
  caption=${corpus#*:}
  row "$caption" "$label" kxsql-text8 "kxsql 8-bit text"
  row "$caption" "$label" kxsql-text16 "kxsql 16-bit text"
  row "$caption" "$label" kxsql-file8 "kxsql file, UTF-8"
  row "$caption" "$label" kxsql-native-text8 "kxsql native rules, 8-bit"
  row "$caption" "$label" kxsql-tokens-text8 "kxsql token path, 8-bit"
done

# The statement counts on the PostgreSQL scripts must agree.
mismatch=0
check_counts() {  # CORPUS REFERENCE-TOOL TOOL...
  local corpus=$1 ref=$2 want got tool
  shift 2
  want=$(field "$corpus" "$ref" statements)
  [ -n "$want" ] || return 0
  for tool in "$@"; do
    got=$(field "$corpus" "$tool" statements)
    [ -n "$got" ] || continue
    if [ "$got" != "$want" ]; then
      echo "MISMATCH: $corpus script: $tool finds $got statements, $ref finds $want"
      mismatch=1
    fi
  done
}
echo
check_counts pg kxsql-text8 pg_query kxsql-text16 kxsql-file8 kxsql-file16 kxsql-native-text8 kxsql-native-text16 \
  kxsql-native-file8 kxsql-tokens-text8
check_counts small kxsql-text8 pg_query sqlparse
# The native rules of a client may cut other statements than the classic
# rules: only the classic ways are held to the same count there.
check_counts ms kxsql-text8 kxsql-text16 kxsql-file8 kxsql-tokens-text8
check_counts ora kxsql-text8 kxsql-text16 kxsql-file8 kxsql-tokens-text8
[ $mismatch = 0 ] && echo "statement counts agree on every script"

# ratio NAME NUMERATOR DENOMINATOR TEST TARGET-TEXT: TEST is an awk
# condition on r, the ratio.
echo
printf '%-44s %10s   %-20s %s\n' "ratio" "measured" "target" ""
ratio() {
  local a b
  a=$2
  b=$3
  if [ -z "$a" ] || [ -z "$b" ]; then
    printf '%-44s %10s   %-20s %s\n' "$1" "-" "$5" "not measured"
    return 0
  fi
  awk -v n="$1" -v a="$a" -v b="$b" -v t="$5" "BEGIN {
    r = a / b; verdict = (t ~ /^[(]/) ? \"\" : ($4) ? \"met\" : \"MISSED\"
    printf \"%-44s %9.2fx   %-20s %s\n\", n, r, t, verdict }"
}
ratio "kxsql 8-bit text / pg_query" "$(field pg kxsql-text8 mbps)" "$(field pg pg_query mbps)" "r >= 6" ">= 6x"
ratio "kxsql 8-bit text / sqlparse" "$(field small kxsql-text8 mbps)" "$(field small sqlparse mbps)" "r >= 1" "(no target)"
ratio "kxsql 16-bit / 8-bit text" "$(field pg kxsql-text16 mbps)" "$(field pg kxsql-text8 mbps)" "r >= 0.8 && r <= 1.2" "within 20%"
ratio "kxsql file UTF-8 / 8-bit text in memory" "$(field pg kxsql-file8 mbps)" "$(field pg kxsql-text8 mbps)" "r >= 0.85 && r <= 1.15" "within 15%"
ratio "kxsql file UTF-16 LE / 8-bit text in memory" "$(field pg kxsql-file16 mbps)" "$(field pg kxsql-text8 mbps)" "1" "(no target)"
ratio "postgres: run-based / token path" "$(field pg kxsql-text8 mbps)" "$(field pg kxsql-tokens-text8 mbps)" "1" "(no target)"
ratio "sqlserver: run-based / token path" "$(field ms kxsql-text8 mbps)" "$(field ms kxsql-tokens-text8 mbps)" "r >= 3" ">= 3x"
ratio "oracle: run-based / token path" "$(field ora kxsql-text8 mbps)" "$(field ora kxsql-tokens-text8 mbps)" "r >= 3" ">= 3x"
ratio "postgres: native / classic rules, 8-bit" "$(field pg kxsql-native-text8 mbps)" "$(field pg kxsql-text8 mbps)" "r >= 1" ">= 1x"
ratio "sqlserver: native / classic rules, 8-bit" "$(field ms kxsql-native-text8 mbps)" "$(field ms kxsql-text8 mbps)" "r >= 1" ">= 1x"
ratio "oracle: native / classic rules, 8-bit" "$(field ora kxsql-native-text8 mbps)" "$(field ora kxsql-text8 mbps)" "r >= 1" ">= 1x"

if [ "$BIG" != 0 ]; then
  echo
  echo "== memory: splitting a 1 GB file through the file source"
  BIGFILE=$DATA/postgres-1G.sql
  "$GEN" postgres 1G "$BIGFILE"
  measure big "$KXSPLIT" --dialect postgres --repeat 1 --modes file8 "$BIGFILE"
  rm -f "$BIGFILE"
  rss=$(awk -v c=big '$1 == c && $2 ~ /^peak_rss_kb=/ { split($2, kv, "="); print kv[2] }' "$RESULTS")
  awk -v kb="$rss" -v mbps="$(field big kxsql-file8 mbps)" -v n="$(field big kxsql-file8 statements)" 'BEGIN {
    mb = kb / 1024
    printf "1 GB file: %s statements at %s MB/s; peak resident memory %.1f MB (target < 64 MB): %s\n",
           n, mbps, mb, (mb < 64 ? "met" : "MISSED") }'
fi

if [ "$RUN" != 0 ]; then
  echo
  echo "== kxsql run vs the sqlite3 shell: 100,000 inserts into a new SQLite file"
  if [ ! -x "$CLI" ]; then
    echo "skipped: $CLI is not built yet"
  elif ! command -v sqlite3 >/dev/null 2>&1; then
    echo "skipped: the sqlite3 shell is missing (Debian: sqlite3)"
  else
    INSERTS=$DATA/inserts-100k.sql
    # The shape of an sqlite3 .dump: one transaction around the inserts.
    awk -v q="'" 'BEGIN {
      print "PRAGMA foreign_keys=OFF;"
      print "BEGIN TRANSACTION;"
      print "CREATE TABLE item (id INTEGER PRIMARY KEY, name TEXT NOT NULL, qty INTEGER, price REAL, note TEXT);"
      for (i = 1; i <= 100000; i++)
        printf "INSERT INTO item VALUES(%d,%sitem %d%s,%d,%d.%02d,%s);\n", i, q, i, q, i % 97, i % 1000, i % 100,
               (i % 5 ? "NULL" : q "it" q q "s a note; not a terminator" q)
      print "COMMIT;"
    }' > "$INSERTS"
    rm -f "$DATA/run-kxsql.db" "$DATA/run-sqlite3.db"
    now() { date +%s.%N; }
    t0=$(now)
    "$CLI" run --quiet --sqlite "$DATA/run-kxsql.db" "$INSERTS" || echo "kxsql run reported failures"
    t1=$(now)
    sqlite3 "$DATA/run-sqlite3.db" < "$INSERTS" || echo "the sqlite3 shell reported failures"
    t2=$(now)
    rows_kx=$(sqlite3 "$DATA/run-kxsql.db" 'SELECT count(*) FROM item')
    rows_sq=$(sqlite3 "$DATA/run-sqlite3.db" 'SELECT count(*) FROM item')
    awk -v a="$t0" -v b="$t1" -v c="$t2" -v rk="$rows_kx" -v rs="$rows_sq" 'BEGIN {
      k = b - a; s = c - b
      printf "kxsql run: %.2f s (%d rows); sqlite3 shell: %.2f s (%d rows); kxsql / sqlite3 wall time: %.2fx\n",
             k, rk, s, rs, k / s }'
    [ "$rows_kx" = 100000 ] && [ "$rows_sq" = 100000 ] || { echo "MISMATCH: expected 100000 rows in both files"; mismatch=1; }
    rm -f "$DATA/run-kxsql.db" "$DATA/run-sqlite3.db"
  fi
fi

if [ "$RUN" != 0 ]; then
  echo
  echo "== kxsql run vs psql -f: a pg_dump-shaped script with 100,000 rows of COPY data into PostgreSQL"
  scripts/bench-pg-load.sh "$BUILD" || mismatch=1
fi

# The Python module: kxsql.split beside sqlparse.split on the small script
# (the same statements, at least 100 times as fast), and beside the C++
# splitter with the same rules on the large one (the binding's cost: at most
# 30% more time).
PYMOD_DIR=$BUILD/python
pymod_python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' "$BUILD/CMakeCache.txt" 2>/dev/null)
echo
echo "== the Python module: kxsql.split (median of $REPEAT runs each, best of $ROUNDS rounds)"
if ! ls "$PYMOD_DIR"/kxsql*.so >/dev/null 2>&1 || [ -z "$pymod_python" ]; then
  echo "skipped: the Python module is not built (Debian: pybind11-dev python3-dev)"
else
  # Taken in rounds beside the C++ splitter, as the splitting measures are.
  for round in $(seq "$ROUNDS"); do
    measure small "$pymod_python" bench/python_split.py --module-dir "$PYMOD_DIR" --repeat "$REPEAT" "$PGSMALL"
    measure pg "$pymod_python" bench/python_split.py --module-dir "$PYMOD_DIR" --repeat "$REPEAT" "$PG"
    measure pg "$KXSPLIT" --dialect postgres --rules native --repeat "$REPEAT" --modes text8 "$PG"
  done
  row "postgres ${SMALL_MB} MB" small kxsql-python "kxsql.split (Python)"
  row "postgres ${MB} MB" pg kxsql-python "kxsql.split (Python)"
  row "postgres ${MB} MB" pg kxsql-native-text8 "kxsql 8-bit text, native"
  check_counts small kxsql-python sqlparse
  check_counts pg kxsql-native-text8 kxsql-python
  ratio "kxsql.split / sqlparse.split" "$(field small kxsql-python mbps)" "$(field small sqlparse mbps)" "r >= 100" ">= 100x"
  ratio "kxsql.split / C++ splitter (native)" "$(field pg kxsql-python mbps)" "$(field pg kxsql-native-text8 mbps)" \
    "r >= 1 / 1.3" ">= 0.77x (30% cost)"
fi

exit $mismatch
