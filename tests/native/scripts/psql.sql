-- Scripts that psql runs with the server's statement log on; the test
-- compares what psql sent with kxsql's statements for each. A line starting
-- with "-- == " starts the next script and names it. Each script runs in a
-- schema of its own that holds a table t (a int, b text).
-- == pg_dump's opening: \restrict, SETs, a set_config
--
-- PostgreSQL database dump
--

\restrict 5vCiDAk2rXkXNtKMnnbkBKcNg4Wiekyo0ZAoNPXWTAH9Y2ZUKmR8NKyNscuMrOM

-- Dumped from database version 15.18

SET statement_timeout = 0;
SET lock_timeout = 0;
SET client_encoding = 'UTF8';
SET standard_conforming_strings = on;
SELECT pg_catalog.set_config('search_path', current_schema(), false);
SET check_function_bodies = false;
SET client_min_messages = warning;

\unrestrict 5vCiDAk2rXkXNtKMnnbkBKcNg4Wiekyo0ZAoNPXWTAH9Y2ZUKmR8NKyNscuMrOM
-- == functions with $_$ bodies holding $$, ';' and comments
CREATE FUNCTION f2(m text) RETURNS text
    LANGUAGE plpgsql
    AS $_$ begin return $$x;$$ || m; end $_$;
CREATE FUNCTION log_item() RETURNS trigger
    LANGUAGE plpgsql
    AS $$
begin
  insert into t values (new.a, 'logged; -- not a comment'); -- ; a comment
  /* a ; */ return new;
end $$;
CREATE FUNCTION tagged() RETURNS text LANGUAGE sql AS $body$ select $in$ $$ ; $in$ $body$;
-- == SQL-standard bodies as pg_dump writes them
CREATE FUNCTION add(a integer, b integer) RETURNS integer
    LANGUAGE sql
    BEGIN ATOMIC
 SELECT (a + b);
END;
CREATE PROCEDURE p(IN x integer)
    LANGUAGE sql
    BEGIN ATOMIC
 INSERT INTO t (a, b)
   VALUES (p.x, CASE WHEN (p.x > 0) THEN 'plus'::text ELSE 'minus;'::text END);
 INSERT INTO t (a) VALUES (0);
END;
CREATE OR REPLACE FUNCTION sign_of(x integer) RETURNS text
    LANGUAGE sql
    BEGIN ATOMIC
 SELECT CASE WHEN x > 0 THEN 'plus' WHEN x < 0 THEN 'minus' ELSE 'zero' END;
END;
SELECT add(1, 2);
-- == COPY rows with tabs, \N, escapes, semicolons and a \\. row
COPY t (a, b) FROM stdin;
1	a;b
2	tab\there
3	\N
4	\\.
5	it's; "quoted"
\.
SELECT count(*) FROM t;
-- == COPY in csv with a header, and what follows it on its line
COPY t FROM STDIN WITH (FORMAT csv, HEADER true); SELECT 'after the rows';
a,b
1,"x;y"
2,"two
lines"
\.
SELECT b FROM t ORDER BY a;
-- == an empty COPY, and COPY TO STDOUT
COPY t (a, b) FROM stdin;
\.
COPY t TO STDOUT;
COPY (SELECT 1 AS "from stdin") TO STDOUT;
-- == a rule with several actions in parentheses, and a trigger
CREATE TABLE t_log (a int);
CREATE RULE r AS ON INSERT TO t DO ALSO (INSERT INTO t_log VALUES (new.a); INSERT INTO t_log VALUES (-new.a));
CREATE FUNCTION t_trig() RETURNS trigger LANGUAGE plpgsql AS $$begin return new; end$$;
CREATE TRIGGER tt BEFORE INSERT ON t FOR EACH ROW EXECUTE FUNCTION t_trig();
INSERT INTO t VALUES (1, 'one');
-- == comments and strings with quotes and semicolons
COMMENT ON TABLE t IS 'It''s; a table';
COMMENT ON COLUMN t.b IS E'a \\ b; \' c';
SELECT U&'d\0061t\+000061;' AS "u;d", U&'d!0061t' UESCAPE '!';
SELECT 'one' 'two;'
  'three';
SELECT B'101', X'1F;';
-- == comments that nest, hold ';', '$$' and quotes
/* a /* nested; */ comment with $$ and ' */ SELECT 1;
SELECT /* ; */ 2 -- ; $$ '
, 3;
-- only a comment
;
SELECT 4;
-- == standard_conforming_strings off, as old dumps set it
SET standard_conforming_strings = off;
SELECT 'a\';b', 'c\\';
INSERT INTO t VALUES (1, 'x\'y;');
SET standard_conforming_strings TO on;
SELECT 'd\';
SET standard_conforming_strings = 'off';
SELECT 'e\';f';
RESET standard_conforming_strings;
SELECT 'g\';
-- == a setting that changes within a line takes effect on the next one
SET standard_conforming_strings = off; SELECT 'h\', 'i'; SET standard_conforming_strings = on;
SELECT 'j\';
-- == a setting sent before COPY rows holds after them
SET standard_conforming_strings = off; COPY t FROM stdin;
1	x
\.
SELECT 'a\';b';
SET standard_conforming_strings = on;
COPY t FROM stdin; SELECT 'c\';
2	y
\.
SELECT 'd\';
-- == backslash commands, several on a line, and \\ before SQL
\set x 'a\'b' \echo :x
\echo one \echo two \\ SELECT 5;
\echo 'quoted \\ backslash' "double\quoted" `echo shell`
\pset footer off
SELECT 6;
-- == \g and its kin send the statement
SELECT 1 AS a \gset
SELECT 2 AS b \gx
SELECT 'SELECT 7' WHERE false \gexec
SELECT 8
\g
SELECT 9 \g /dev/null
-- == \r drops the statement typed so far
SELECT 'dropped'
\r
SELECT 10;
SELECT 'dropped too' \reset
SELECT 11;
-- == \copy from stdin reads its rows from the script
\copy t (a, b) from stdin
1	a
2	b
\.
\copy t from stdin with (format csv)
3,"c;d"
\.
SELECT count(*) FROM t;
\copy t to stdout
-- == \copy in the middle of a statement runs first
SELECT 1,
\copy t from stdin
7	q
\.
2;
-- == a COPY sent by \g, and one after \;
COPY t FROM stdin \g
1	g
\.
SELECT 12 \; COPY t FROM stdin;
2	h
\.
SELECT count(*) FROM t;
-- == \; and \: put their character into the statement
SELECT 13 \; SELECT 14;
SELECT 15 AS x \: SELECT 16;
-- == parentheses keep ';', and psql's BEGIN heuristic
SELECT (1;
2);
SELECT ARRAY[(SELECT 3; )];
CREATE FUNCTION begin() RETURNS int LANGUAGE sql RETURN 1; SELECT 2; END; SELECT 17;
CREATE TABLE b (begin int, "end" int); SELECT 18;
-- == DO blocks with nested dollar quotes
DO $do$
BEGIN
  EXECUTE $q$CREATE TABLE d1 (a text DEFAULT '$$;')$q$;
  RAISE NOTICE 'done; %', $$'$$;
END
$do$;
DO LANGUAGE plpgsql $$ BEGIN PERFORM 1; END $$;
-- == dollar tags and parameters
SELECT $é$;$é$;
PREPARE q(int) AS SELECT $1 + 1; EXECUTE q(2);
SELECT 1 AS a$b$, $_$ ; $_$;
SELECT $a1$ $a2$ ; $a2$ $a1$;
-- == grants and default privileges
GRANT SELECT ON TABLE t TO PUBLIC;
REVOKE ALL ON SCHEMA public FROM PUBLIC;
ALTER DEFAULT PRIVILEGES GRANT SELECT ON TABLES TO PUBLIC;
-- == blank statements and a statement over several lines
;
;;
SELECT
  1
  ,
  2 -- a ; comment
  ;
CREATE VIEW v AS
 SELECT t.a,
    CASE WHEN (t.a > 0) THEN 'p;' ELSE 'n' END AS s
   FROM t
  WHERE (t.b <> ';'::text);
-- == E'' strings and identifiers
SELECT E'\'', E'\\', e'a\';b', "x;""y" FROM (SELECT 1) AS "x;""y"("x;""y");
SELECT 'a\', E'b';
