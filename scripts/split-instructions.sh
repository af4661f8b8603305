#!/usr/bin/env bash
# Counts the instructions that splitting a script takes, per byte of the
# script, under callgrind: a measure that other work on the machine does not
# disturb. Only the work inside GetNextStmt is counted (reading the file into
# memory and widening it to 16-bit text are not).
#
# Usage: scripts/split-instructions.sh BUILD_DIR DIALECT MODE FILE [kxsql_split options...]
#   MODE: text8, text16 or file8
#   scripts/split-instructions.sh build postgres text8 pg.sql
#   scripts/split-instructions.sh build postgres text8 pg.sql --rules native
set -euo pipefail
[ $# -ge 4 ] || { sed -n '2,10p' "$0" >&2; exit 2; }
build=$1 dialect=$2 mode=$3 file=$4
shift 4
out=$(mktemp)
trap 'rm -f "$out"' EXIT
valgrind --tool=callgrind --callgrind-out-file="$out" "$build/bench/kxsql_split" --dialect "$dialect" \
  --repeat 1 --modes "$mode" "$@" "$file" > /dev/null 2>&1
width=char
[ "$mode" = text16 ] && width="unsigned short"
instructions=$(callgrind_annotate --inclusive=yes "$out" |
  grep -F "CKXSQLStreamT<$width>::GetNextStmt(SQLStmtT<$width>&, CKXTr const*, STMTSEP const*)" | head -1 |
  awk '{ gsub(",", "", $1); print $1 }')
bytes=$(stat -c %s "$file")
awk -v i="$instructions" -v b="$bytes" -v m="$mode" -v d="$dialect" \
  'BEGIN { printf "%s %s: %.1f instructions per byte (%d instructions, %d bytes)\n", d, m, i / b, i, b }'
