-- A small schema that the sqlite3 shell makes and .dump then writes out:
-- the test reads the dump into the shell and compares what it ran with
-- kxsql's statements for the dump.
CREATE TABLE item (id integer PRIMARY KEY, name text, note blob);
CREATE TABLE audit (id integer PRIMARY KEY, item_id int, at text);
CREATE TRIGGER item_log AFTER INSERT ON item BEGIN
  INSERT INTO audit (item_id, at) VALUES (new.id, 'x;y');
  SELECT CASE WHEN new.id > 1 THEN 'big' ELSE 'small' END;
END;
CREATE VIEW v AS SELECT id, name FROM item WHERE name <> ';';
CREATE INDEX ix ON item (name);
INSERT INTO item VALUES (1, 'a;b', x'00ff'), (2, 'new
line', 'it''s'), (3, NULL, '-- not;comment'), (4, '
.print inside', 'go');
CREATE TABLE "we;ird" ("a b" text, [c;d] text);
INSERT INTO "we;ird" VALUES ('/', 'end;');
