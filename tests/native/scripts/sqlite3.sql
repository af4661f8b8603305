-- Scripts that the sqlite3 shell reads (.read) with .trace on; the test
-- compares what the shell ran with kxsql's statements for each. A line
-- starting with "-- == " starts the next script and names it. Each script
-- runs against a fresh in-memory database that holds the tables
-- t (a, b, "a;b", "c;d", "e;f") and x (a).
-- == .dump's shape: a transaction, tables, rows, a trigger, a view
PRAGMA foreign_keys=OFF;
BEGIN TRANSACTION;
CREATE TABLE item(id integer primary key, name text, note blob);
INSERT INTO item VALUES(1,'a;b',X'00ff');
INSERT INTO item VALUES(2,replace('new\nline','\n',char(10)),'it''s');
INSERT INTO item VALUES(3,NULL,'-- not;comment');
CREATE TABLE IF NOT EXISTS "we;ird" ("a b" text);
INSERT INTO "we;ird" VALUES(replace('\n.print inside','\n',char(10)));
CREATE TRIGGER item_log after insert on item begin insert into x values (new.id); select case when new.id > 1 then 'big' else 'small' end; end;
CREATE VIEW v as select id, name from item where name <> ';';
CREATE INDEX ix on item(name);
COMMIT;
-- == triggers over several lines, CASE ... END inside, WHEN clauses
CREATE TRIGGER t1 AFTER INSERT ON t
BEGIN
  UPDATE x SET a = CASE WHEN new.a > 0 THEN 1 ELSE 2 END;
  INSERT INTO x VALUES (new.a);
END;
CREATE TEMP TRIGGER t2 BEFORE DELETE ON t FOR EACH ROW WHEN old.a > 0 BEGIN
  DELETE FROM x WHERE a = old.a; END;
CREATE TEMPORARY TRIGGER IF NOT EXISTS t3 AFTER UPDATE OF a ON t BEGIN SELECT 1; SELECT 2; END;
INSERT INTO t (a) VALUES (5);
-- == EXPLAIN before a trigger, and EXPLAIN QUERY PLAN
EXPLAIN CREATE TRIGGER t4 AFTER INSERT ON t BEGIN SELECT 1; END;
EXPLAIN QUERY PLAN SELECT * FROM t WHERE a = 1;
SELECT 3;
-- == several statements on a line, and one over lines without a last ';'
SELECT 1; SELECT 2; SELECT
3
;
SELECT 4; SELECT 5
-- == go and / lines end a statement
SELECT 6
go
SELECT 7
  /  
SELECT 8
GO -- a comment
SELECT 9
go /* a comment */
SELECT 10;
-- == go and / inside strings and after a full statement are not terminators
SELECT 'a
go
/';
SELECT 11;
go
SELECT 12;
-- == dot-commands only at the start of a statement's first line
.print one
-- a comment line
.print two
SELECT 13; -- after the statement
.print three
SELECT 14; /* a block comment */
.print four
-- == a dot line inside a statement or string is SQL
SELECT '
.print not a command
';
SELECT 15 /*
.print not a command either
*/ ;
-- == # lines where a statement starts
# a comment to the shell
SELECT 16;
# another
SELECT 17;
-- == quoting: '', "", ``, [] holding ';', and comments holding ';'
SELECT "a;b", `c;d`, [e;f] FROM t;
SELECT 'it''s;', "x""y;" AS "q;";
SELECT 18 -- ;
;
SELECT /* ; */ 19;
-- == CRLF line ends
SELECT 20;
SELECT 21
go
.print crlf
SELECT 22;
-- == names with $ and statements that end a trigger by END;
CREATE TABLE d (a$b, "$c");
CREATE TRIGGER t5 AFTER INSERT ON d BEGIN INSERT INTO x VALUES (new.a$b); END;
INSERT INTO d VALUES (1, 2);
SELECT a$b FROM d;
-- == a lone ';', empty lines, and blank statements
;

;;
SELECT 23;
-- == a trigger named like a keyword, and END in names
CREATE TABLE e ("end" int, endx int);
CREATE TRIGGER "end" AFTER INSERT ON e BEGIN UPDATE e SET endx = new."end"; END;
INSERT INTO e ("end") VALUES (1);
SELECT "end", endx FROM e;
-- == a view and an index with expressions holding ';'
CREATE VIEW w AS SELECT a, ';' AS s FROM t WHERE b <> 'x;y';
CREATE INDEX ix2 ON t (a) WHERE b <> ';';
SELECT * FROM w;
-- == WITH, UPSERT and RETURNING
WITH c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 3) SELECT * FROM c;
INSERT INTO x VALUES (1) ON CONFLICT DO NOTHING;
INSERT INTO x VALUES (2) RETURNING a;
-- == block comments before statements and at the end
/* a
comment */ SELECT 24;
/* one */ /* two */
SELECT 25;
/* at the end */
-- == triggers: INSTEAD OF, END before a comment, CREATE and TRIGGER on two lines
CREATE VIEW tv AS SELECT a FROM t;
CREATE TRIGGER t6 INSTEAD OF INSERT ON tv BEGIN INSERT INTO t (a) VALUES (new.a); END /* done; */ ;
/* leading */ CREATE
TRIGGER t7 AFTER DELETE ON t WHEN old.b <> ';' BEGIN DELETE FROM x; END
;
INSERT INTO tv VALUES (3);
-- == dot-commands with ';' and quotes in their arguments
.print a;b
.print 'c;d' "e;f"
.timer off
SELECT 26;
-- == go and / followed by more text are SQL
SELECT 27
go on
;
SELECT 28 /
2;
-- == a statement that starts with a tab, and a dot after blanks
	SELECT 29;
  .print not a dot-command
;
SELECT 30;
