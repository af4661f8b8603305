-- Scripts that the mariadb client runs (mariadb --force db < script) with
-- the server's general query log on; the test compares what the client sent
-- with kxsql's statements for each. A line starting with "-- == " starts the
-- next script and names it. Each script runs in a database of its own that
-- holds the tables t (a int, b text) and x (a int).
-- == mariadb-dump's opening: the sandbox line and /*!40101 SET ... */
/*M!999999\- enable the sandbox mode */ 
-- MariaDB dump 10.19  Distrib 10.11.19-MariaDB, for debian-linux-gnu (x86_64)
--
-- Host: localhost    Database: dumpme
-- ------------------------------------------------------

/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;
/*!40101 SET NAMES utf8mb4 */;
/*!40103 SET @OLD_TIME_ZONE=@@TIME_ZONE */;
/*!40103 SET TIME_ZONE='+00:00' */;
/*!40014 SET @OLD_UNIQUE_CHECKS=@@UNIQUE_CHECKS, UNIQUE_CHECKS=0 */;
/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;
/*!40111 SET @OLD_SQL_NOTES=@@SQL_NOTES, SQL_NOTES=0 */;
-- == a table and its rows as the dump writes them
DROP TABLE IF EXISTS `item`;
/*!40101 SET @saved_cs_client     = @@character_set_client */;
/*!40101 SET character_set_client = utf8mb4 */;
CREATE TABLE `item` (
  `id` int(11) NOT NULL,
  `name` varchar(50) DEFAULT NULL,
  PRIMARY KEY (`id`)
) ENGINE=InnoDB DEFAULT CHARSET=latin1 COLLATE=latin1_swedish_ci;
/*!40101 SET character_set_client = @saved_cs_client */;
LOCK TABLES `item` WRITE;
/*!40000 ALTER TABLE `item` DISABLE KEYS */;
INSERT INTO `item` VALUES
(1,'a;b'),
(2,'new\nline'),
(3,'it\'s; \\'),
(4,NULL);
/*!40000 ALTER TABLE `item` ENABLE KEYS */;
UNLOCK TABLES;
-- == a trigger wrapped in executable comments, between DELIMITER ;;
/*!50003 SET @saved_sql_mode       = @@sql_mode */ ;
/*!50003 SET sql_mode              = 'STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_AUTO_CREATE_USER,NO_ENGINE_SUBSTITUTION' */ ;
DELIMITER ;;
/*!50003 CREATE*/ /*!50017 DEFINER=`root`@`localhost`*/ /*!50003 trigger t_log after insert on t for each row begin insert into x values (new.a); end */;;
DELIMITER ;
/*!50003 SET sql_mode              = @saved_sql_mode */ ;
-- == routines between DELIMITER ;;, with ';' inside
DELIMITER ;;
CREATE DEFINER=`root`@`localhost` FUNCTION `f`(a int) RETURNS int(11)
    DETERMINISTIC
begin declare b int default 1; return a + b; end
;;
CREATE PROCEDURE `p`(x int)
begin insert into t values (x, 'p;'); select 'a\';b'; end
;;
DELIMITER ;
CALL p(1);
SELECT f(2);
-- == a routine made under NO_BACKSLASH_ESCAPES: the client reads its quotes so
/*!50003 SET @saved_sql_mode       = @@sql_mode */ ;
/*!50003 SET sql_mode              = 'NO_BACKSLASH_ESCAPES' */ ;
DELIMITER ;;
CREATE PROCEDURE `q`()
select 'c\' as x
;;
DELIMITER ;
/*!50003 SET sql_mode              = @saved_sql_mode */ ;
SELECT 'd\';e';
-- == ANSI_QUOTES, ANSI and back: backslashes in "..." follow the mode
SET sql_mode = 'ANSI_QUOTES';
SELECT 'a' AS "x\";y";
SET SESSION sql_mode = 'ANSI,NO_BACKSLASH_ESCAPES';
SELECT 'b\' AS c;
SET @@session.sql_mode = DEFAULT;
SELECT "d\";e";
-- == the old mode saved in a variable and set back
SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_BACKSLASH_ESCAPES';
SELECT 'f\';
SET SQL_MODE=@OLD_SQL_MODE;
SELECT 'g\';h';
SET GLOBAL sql_mode = @@GLOBAL.sql_mode;
SELECT 'i\'';
-- == DELIMITER $$ and //, inside words and strings
DELIMITER $$
CREATE PROCEDURE pp() BEGIN SELECT 'x$$'; SELECT 1; END$$
SELECT 2$$ SELECT 3$$
DELIMITER //
CREATE FUNCTION g() RETURNS int RETURN 4//
DELIMITER ;
SELECT g();
-- == delimiter forms: quoted, after a comment, case, \d
delimiter '%%'
SELECT 5%%
DELIMITER ;; -- a comment
SELECT 6;;
\d ;
SELECT 7;
-- == comments: #, -- before a blank, -- where a statement starts, /* */
# a comment; with a semicolon
SELECT 8 # ; the rest of the line
, 9;
SELECT 10 -- ;
, 11;
--no blank, but a statement starts here;
SELECT 12--1;
SELECT /* ; */ 13 /*+ a hint; */;
-- == executable comments hold SQL, and their ';' ends the statement
/*!40101 SELECT 14 */;
/*M!100101 SELECT 15 */;
SELECT /*!99999 16, */ 17;
/*!40101 SET @a = 1 # a comment inside
*/;
-- == strings with backslashes, doubled quotes and backquoted names
SELECT 'a\\', 'b\'c;', "d\"e;", 'f''g;', "h""i;";
SELECT `j;k` FROM (SELECT 1 AS `j;k`) AS `l``m`;
SELECT 'two
lines;';
-- == client commands by name, at a statement's start or as the whole statement
use test
USE test;
SELECT 18; use test; SELECT 19;
source no_such_file.sql
SELECT 20;
-- == backslash commands: \g, \G, \c, \u and \. anywhere
SELECT 21 \g
SELECT 22\G
SELECT 'dropped' \c
SELECT 23 \u test
;
SELECT 24;
-- == CRLF line ends
SELECT 25;
DELIMITER ;;
SELECT 26;;
DELIMITER ;
SELECT 27;
-- == CREATE VIEW and EVENT as dumps write them
/*!50001 CREATE ALGORITHM=UNDEFINED */
/*!50013 DEFINER=`root`@`localhost` SQL SECURITY DEFINER */
/*!50001 VIEW `v` AS select `t`.`a` AS `a` from `t` where `t`.`b` <> ';' */;
DELIMITER ;;
/*!50106 CREATE*/ /*!50117 DEFINER=`root`@`localhost`*/ /*!50106 EVENT `ev` ON SCHEDULE EVERY 1 DAY DO begin delete from x; insert into x values (1); end */ ;;
DELIMITER ;
-- == a procedure with labels, handlers and a CASE
DELIMITER //
CREATE PROCEDURE loopy(n int)
main: BEGIN
  DECLARE i int DEFAULT 0;
  DECLARE CONTINUE HANDLER FOR SQLEXCEPTION BEGIN END;
  WHILE i < n DO
    SET i = i + 1;
    CASE WHEN i > 2 THEN LEAVE main; ELSE INSERT INTO x VALUES (i); END CASE;
  END WHILE;
END//
DELIMITER ;
CALL loopy(5);
-- == blank statements and a statement over lines
;
SELECT
  28
  ,
  29 # the end
;
-- == a statement the server refuses is still sent
SELECT FROM WHERE;
SELECT 30;
-- == the delimiter inside comments and strings does not count
DELIMITER //
SELECT 31 /* // */ , '//' # //
, "//" -- //
//
DELIMITER ;
-- == -- before a tab or the line end, and -- glued to a word
SELECT 32 --	tab
, 33 --
, 34;
SELECT 35--2;
SELECT 36 ---1;
-- == names and numbers: $ in names, 1e3, 0x1F, 12abc
SELECT 1 AS a$b, 1e3, 0x1F, b'1';
SELECT 37 AS `12abc`;
