-- A small schema that psql makes and pg_dump then writes out: the test
-- restores the dump with psql and compares what psql sent with kxsql's
-- statements for the dump.
CREATE TABLE item (id int PRIMARY KEY, name text, note text);
CREATE TABLE audit (id serial, item_id int, at text DEFAULT 'now; later');
CREATE FUNCTION log_item() RETURNS trigger LANGUAGE plpgsql AS $$
begin
  insert into audit (item_id) values (new.id); -- a ';' inside
  return new;
end $$;
CREATE TRIGGER item_log AFTER INSERT ON item FOR EACH ROW EXECUTE FUNCTION log_item();
CREATE FUNCTION add(a int, b int) RETURNS int LANGUAGE sql BEGIN ATOMIC SELECT a + b; END;
CREATE PROCEDURE put(x int) LANGUAGE sql
BEGIN ATOMIC
  INSERT INTO item VALUES (x, CASE WHEN x > 0 THEN 'plus' ELSE 'minus;' END, NULL);
END;
CREATE TYPE mood AS ENUM ('sad', 'ok');
CREATE FUNCTION f2(m mood) RETURNS text LANGUAGE plpgsql AS $_$ begin return $$x;$$ || m; end $_$;
CREATE VIEW v AS SELECT id, name FROM item WHERE name <> ';';
CREATE RULE keep AS ON DELETE TO v DO INSTEAD (DELETE FROM audit WHERE item_id = old.id; DELETE FROM item WHERE id = old.id);
INSERT INTO item VALUES (1, 'a;b', E'tab\there'), (2, E'new\nline', '\.'), (3, NULL, '$$'), (4, 'back\slash', '''');
INSERT INTO item SELECT n, 'item ' || n, repeat(';', n % 7) FROM generate_series(5, 400) AS n;
CALL put(-1);
COMMENT ON TABLE item IS 'It''s; a table';
