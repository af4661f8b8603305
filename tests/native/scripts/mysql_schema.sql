-- A small schema that the mariadb client makes and mariadb-dump (with
-- --routines --triggers) then writes out: the test restores the dump with
-- the client and compares what it sent with kxsql's statements for the dump.
CREATE TABLE item (id int PRIMARY KEY, name varchar(50), note text);
CREATE TABLE audit (id int AUTO_INCREMENT PRIMARY KEY, item_id int);
DELIMITER //
CREATE TRIGGER item_log AFTER INSERT ON item FOR EACH ROW BEGIN INSERT INTO audit (item_id) VALUES (new.id); END//
CREATE PROCEDURE p(x int) BEGIN INSERT INTO item VALUES (x, 'p;', NULL); SELECT 'a\';b'; END//
CREATE FUNCTION f(a int) RETURNS int DETERMINISTIC BEGIN DECLARE b int DEFAULT 1; RETURN a + b; END//
DELIMITER ;
SET sql_mode = 'NO_BACKSLASH_ESCAPES';
CREATE PROCEDURE q() SELECT 'c\' AS x;
SET sql_mode = 'ANSI_QUOTES';
CREATE PROCEDURE r() SELECT "d\" AS "y;";
SET sql_mode = DEFAULT;
INSERT INTO item VALUES (1, 'a;b', 'tab\there'), (2, 'new\nline', '\\.'), (3, NULL, ';;'), (4, '$$', '*/');
CREATE VIEW v AS SELECT id, name FROM item WHERE name <> ';';
DELIMITER ;;
CREATE EVENT ev ON SCHEDULE EVERY 1 DAY DISABLE DO BEGIN DELETE FROM audit; INSERT INTO audit (item_id) VALUES (0); END;;
DELIMITER ;
