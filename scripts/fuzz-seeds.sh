#!/usr/bin/env bash
# fuzz-seeds.sh OUT-DIR
# Writes the starting corpora of the fuzz targets, OUT-DIR/<target>/, from the
# example scripts and a few hand-written scripts per dialect. `make fuzz` runs
# it into its build folder, so the corpora always follow the examples and
# nothing of them is kept in the repository.
set -euo pipefail
corpus=$(realpath -m "${1:?usage: fuzz-seeds.sh OUT-DIR}")
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- the scripts the corpora are made of -----------------------------------

# The bookshop's schema, triggers and first rows, without its opening comment.
sed -n '4,75p' examples/scripts/bookshop.sql >"$work/bookshop.sql"
cp examples/scripts/payroll.sql "$work/payroll.sql"

cat >"$work/plsql.sql" <<'EOF'
CREATE OR REPLACE PROCEDURE bump (p IN NUMBER) AS
BEGIN
  FOR i IN 1..p LOOP
    IF MOD(i, 2) = 0 THEN
      UPDATE t SET n = n + 1 WHERE id = i;
    ELSIF i > 10 THEN
      NULL;
    END IF;
  END LOOP;
  SELECT s.NEXTVAL INTO v FROM dual FOR UPDATE;
END;
/
DROP PROCEDURE old_bump;
BEGIN bump(3); COMMIT; END;
/
SELECT 1/2 FROM dual
/
EOF

cat >"$work/tsql.sql" <<'EOF'
CREATE TABLE #tmp (id INT, name NVARCHAR(20))
GO
BEGIN TRAN
INSERT INTO #tmp VALUES (1, N'a;b')
COMMIT TRANSACTION
go
CREATE PROCEDURE p_list AS
BEGIN
  SELECT id FROM #tmp; -- one
  BEGIN
    SELECT name FROM #tmp;
  END
END;
GO
  GO
ALTER TRIGGER tr_x ON t AFTER INSERT AS SELECT 1;
DISABLE TRIGGER tr_x ON t;
EOF

cat >"$work/plpgsql.sql" <<'EOF'
CREATE FUNCTION add_one(integer) RETURNS integer AS $$
BEGIN
  RETURN $1 + 1; -- $ alone stays inside
END;
$$ LANGUAGE plpgsql;
CREATE FUNCTION empty() RETURNS void AS $$$$ LANGUAGE sql;
SELECT $tag$ not; special $tag$;
DO $$ BEGIN PERFORM 1; END $$;
EOF

cat >"$work/db2.sql" <<'EOF'
CREATE PROCEDURE grade (IN s INT, OUT g CHAR(1))
LANGUAGE SQL
BEGIN
  IF s > 90 THEN
    SET g = 'A';
  ELSEIF s > 50 THEN
    IF s > 70 THEN SET g = 'B'; ELSE SET g = 'C'; END IF;
  ELSE
    SET g = 'F';
  END IF;
END;
BEGIN ATOMIC
  DECLARE n INT DEFAULT 0;
  FOR v AS SELECT id FROM t DO SET n = n + 1; END FOR;
END;
EOF

cat >"$work/sqlite.sql" <<'EOF'
CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT);
CREATE TABLE log (v TEXT);
CREATE TRIGGER t_ins AFTER INSERT ON t BEGIN
  INSERT INTO log VALUES (NEW.v); INSERT INTO log VALUES ('x;y');
END;
INSERT INTO t (v) VALUES ('it''s'), ("dq");
SELECT count(*) FROM log;
SELECT no_such_column FROM t;
BEGIN WORK;
UPDATE t SET v = v || '!';
END;
EOF

cat >"$work/pgdump.sql" <<'EOF'
\restrict k3y
SET client_encoding = 'UTF8';
CREATE FUNCTION public.f() RETURNS trigger LANGUAGE plpgsql AS $_$ BEGIN RETURN NEW; END; $_$;
COPY public.t (a, b) FROM stdin;
1	x\ty
2	\N
\.
SELECT pg_catalog.setval('public.s', 3, true); select E'a\';' /* a /* b */ */;
\set v 1
select :'v', (1;
2) \g
\unrestrict k3y
EOF

cat >"$work/mysqldump.sql" <<'EOF'
/*M!999999\- enable the sandbox mode */
/*!40101 SET NAMES utf8mb4 */;
DROP TABLE IF EXISTS `t`; # comment
INSERT INTO `t` VALUES (1,'a\'b;c'),(2,"d");
DELIMITER ;;
/*!50003 CREATE*/ /*!50003 TRIGGER tr BEFORE INSERT ON t FOR EACH ROW BEGIN SET NEW.a = 1; END */;;
DELIMITER ;
--x
use test
source other.sql
EOF

# Every kind of token and the odd places they meet: comments that do not
# nest, unterminated strings, `/` in and out of the first column, CR LF,
# a line comment that runs to the end without a line end.
printf '%s\r\n' \
  "SELECT a.b, 'it''s', \"q\"\"q\" FROM t; -- done" \
  "/* a /* b */ x */;" \
  "/" \
  " / x/y 12.5 _x1 #tmp \$1" \
  "/*/ still a comment */ 'open" \
  "line two of the string' ;" >"$work/lexical.sql"
printf -- '-- café, naïve: no line end' >>"$work/lexical.sql"

# --- per target --------------------------------------------------------------

rm -rf "$corpus"
mkdir -p "$corpus"/{tokenizer,splitter,split_paths,native_paths,file_source,native}

# tokenizer: the bytes as 8-bit text, and pairs of bytes as 16-bit units.
for s in bookshop payroll plsql tsql plpgsql db2 sqlite lexical; do
  cp "$work/$s.sql" "$corpus/tokenizer/$s.sql"
done
iconv -f UTF-8 -t UTF-16LE "$work/lexical.sql" >"$corpus/tokenizer/lexical.utf16le"
iconv -f UTF-8 -t UTF-16LE "$work/tsql.sql" >"$corpus/tokenizer/tsql.utf16le"
# Lone and reversed surrogates among ASCII units.
printf "S\0E\0L\0'\0\x00\xd8'\0 \0\x00\xdc\x00\xd8;\0\n\0\x3d\xd8\x00\xde" >"$corpus/tokenizer/surrogates.utf16le"

# splitter: the first byte picks the DBMS type (byte % 10: generic, oracle,
# db2, informix, sqlserver, sybase, postgres, access, sqlite, mysql) and the
# separator ((byte / 10) % 4: the dialect's rules, GO on its own line, a
# semicolon, OTHER).
seed() {  # target, file name, type byte, script
  { printf "\\$(printf '%03o' "$3")"; cat "$work/$4.sql"; } >"$corpus/$1/$2"
}
seed splitter bookshop-sqlite 8 bookshop
seed splitter payroll-oracle 1 payroll
seed splitter plsql-oracle 1 plsql
seed splitter plsql-generic 0 plsql
seed splitter tsql-sqlserver 4 tsql
seed splitter tsql-go-separator 14 tsql
seed splitter plpgsql-postgres 6 plpgsql
seed splitter db2-db2 2 db2
seed splitter db2-oracle 1 db2
seed splitter sqlite-sqlite 8 sqlite
seed splitter lexical-generic 0 lexical
seed splitter lexical-semicolon-separator 20 lexical
seed splitter lexical-other-separator 30 lexical

# native: the first byte picks the DBMS type as for the splitter.
seed native pgdump-postgres 6 pgdump
seed native plpgsql-postgres 6 plpgsql
seed native mysqldump-mysql 9 mysqldump
seed native sqlite-sqlite 8 sqlite
seed native plsql-oracle 1 plsql
seed native tsql-sqlserver 4 tsql
seed native db2-db2 2 db2
seed native lexical-postgres 6 lexical

# split_paths and native_paths: the first byte picks the DBMS type and the flags word
# ((byte / 10) % 8: the DBMS type's, or one of seven others), the second how
# far before the first chunk's end of a file the script starts (bit 0x80:
# behind a comment rather than blank lines).
seed2() {  # file name, type byte, chunk byte, script [target]
  { printf "\\$(printf '%03o' "$2")\\$(printf '%03o' "$3")"; cat "$work/$4.sql"; } >"$corpus/${5:-split_paths}/$1"
}
seed2 payroll-oracle 1 0 payroll
seed2 plsql-oracle-omit 71 130 plsql
seed2 tsql-sqlserver 4 7 tsql
seed2 tsql-sybase-crs 45 200 tsql
seed2 plpgsql-postgres 6 33 plpgsql
seed2 db2-db2 2 63 db2
seed2 sqlite-sqlite 8 129 sqlite
seed2 lexical-generic 0 12 lexical
seed2 lexical-oracle-flags 51 140 lexical

# native_paths: the same form, under the native rules.
seed2 pgdump-postgres 6 9 pgdump native_paths
seed2 plpgsql-postgres-flags 76 133 plpgsql native_paths
seed2 mysqldump-mysql 9 21 mysqldump native_paths
seed2 sqlite-sqlite 8 140 sqlite native_paths
seed2 plsql-oracle 1 50 plsql native_paths
seed2 payroll-oracle-crs 41 3 payroll native_paths
seed2 tsql-sqlserver 4 7 tsql native_paths
seed2 db2-db2 2 63 db2 native_paths
seed2 lexical-postgres 6 12 lexical native_paths

# file_source: the bytes of a file, in the encodings the host detects.
f="$corpus/file_source"
cp "$work/bookshop.sql" "$f/bookshop.utf8"
{ printf '\xef\xbb\xbf'; cat "$work/payroll.sql"; } >"$f/payroll.utf8bom"
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$work/tsql.sql"; } >"$f/tsql.utf16lebom"
{ printf '\xfe\xff'; iconv -f UTF-8 -t UTF-16BE "$work/plpgsql.sql"; } >"$f/plpgsql.utf16bebom"
iconv -f UTF-8 -t UTF-16LE "$work/db2.sql" >"$f/db2.utf16le"
iconv -f UTF-8 -t UTF-16BE "$work/sqlite.sql" >"$f/sqlite.utf16be"
{ printf '\xff\xfe\0\0'; iconv -f UTF-8 -t UTF-32LE "$work/plsql.sql"; } >"$f/plsql.utf32lebom"
iconv -f UTF-8 -t WINDOWS-1252 "$work/lexical.sql" >"$f/lexical.cp1252"
printf '\xef\xbb\xbf' >"$f/bom-only.utf8bom"
# Characters cut by the 4096-byte chunk boundary: a two-byte UTF-8 character
# at bytes 4095-4096, and a surrogate pair at bytes 4094-4097 of the file.
{ printf "'"; for _ in $(seq 2100); do printf '\xc3\xa9'; done; printf "';\n"; } >"$f/chunk-straddle.utf8"
{ printf '\xff\xfe'; printf "x'" | iconv -f UTF-8 -t UTF-16LE
  for _ in $(seq 1100); do printf '\x3d\xd8\x00\xde'; done
  printf "';\n" | iconv -f UTF-8 -t UTF-16LE; } >"$f/chunk-straddle.utf16lebom"

find "$corpus" -type f | wc -l | xargs echo "seed files:"
du -sh "$corpus"
