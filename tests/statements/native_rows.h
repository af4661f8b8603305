// Scripts and the statements that each dialect's own client sends for them,
// shared by the splitting tables (native_rules_test.cpp) and the comparison
// with the clients themselves (native/native_client_test.cpp). The rows of
// psql, the sqlite3 shell and the mysql client were read off the clients
// (psql with the server's statement log, the shell's .trace, the MariaDB
// general log). Each statement is described as native_support.h's Line does.
#pragma once

#include <string>
#include <vector>

namespace kxsql::testing {

struct NativeRow {
  const char* script;
  std::vector<std::string> statements;
};

inline const std::vector<NativeRow> kPsqlRows = {
  {"select 1; select 2", {"select 1", "select 2"}},
  // A word after a dot may be a side effect.
  {"select s.nextval; select t.x from t", {"select s.nextval [effect: nextval]", "select t.x from t"}},
  {"begin;\ncommit;\nBEGIN ISOLATION LEVEL SERIALIZABLE;", {"begin", "commit", "BEGIN ISOLATION LEVEL SERIALIZABLE"}},
  // Bodies are strings, whatever their tag; `$1` is a parameter, `a$b$` a name.
  {"select $x$ ; $x$; select $$a;b$$;", {"select $x$ ; $x$", "select $$a;b$$"}},
  {"create function f() returns trigger as $_$\nbegin\n  return new; -- ;\nend;\n$_$ language plpgsql;",
   {"create function f() returns trigger as $_$\nbegin\n  return new; -- ;\nend;\n$_$ language plpgsql"}},
  {"select $1; select a$b$ from t;", {"select $1", "select a$b$ from t"}},
  // E-strings escape with a backslash; standard strings do not.
  {"select E'a\\';b'; select 'c\\'; select 2", {"select E'a\\';b'", "select 'c\\'", "select 2"}},
  {"select U&'d\\0061t;'; select \"a;b\";", {"select U&'d\\0061t;'", "select \"a;b\""}},
  // Comments nest.
  {"select /* a /* b; */ c; */ 1; select 2", {"select  1", "select 2"}},
  // A `;` inside parentheses does not end the statement.
  {"select (1;\n2); select 3", {"select (1;\n2)", "select 3"}},
  // SQL-standard bodies; a CASE inside one ends with END too.
  {"create function f(a int) returns int language sql\nbegin atomic\n  select case when a > 0 then 1 else 2 end;\n"
   "  select 3;\nend;\nselect 4;",
   {"create function f(a int) returns int language sql\nbegin atomic\n  select case when a > 0 then 1 else 2 end;\n"
    "  select 3;\nend",
    "select 4"}},
  {"create or replace procedure p() begin atomic select 1; end; select 2;",
   {"create or replace procedure p() begin atomic select 1; end", "select 2"}},
  {"create table t (begin int); select 1;", {"create table t (begin int)", "select 1"}},
  // Backslash commands: a statement of their own where one starts; inside
  // one they run first and the statement goes on; \g sends, \; is a `;`.
  {"\\c db\nselect 1;\n\\set x 1\n", {"client: \\c db", "select 1", "client: \\set x 1"}},
  {"select 1 \\echo mid\n;", {"client: \\echo mid", "select 1"}},
  {"select 2 \\g\nselect 3 \\; select 4;", {"select 2", "select 3 ; select 4"}},
  // COPY ... FROM stdin: the rows follow, up to `\.`; the rest of the
  // COPY line comes after them.
  {"copy t (a, b) from stdin;\n1\tx\\ty\n2\t\\N\n\\.\nselect 1;",
   {"copy t (a, b) from stdin <data: 1\tx\\ty\n2\t\\N\n>", "select 1"}},
  {"COPY t FROM STDIN WITH (FORMAT csv); select 2;\n3,\"a;b\"\n\\.\r\nselect 4;",
   {"COPY t FROM STDIN WITH (FORMAT csv) <data: 3,\"a;b\"\n>", "select 2", "select 4"}},
  {"copy t from stdin;\n1\n2", {"copy t from stdin <data: 1\n2>"}},
  {"copy t from '/data/x.csv'; copy t to stdout;", {"copy t from '/data/x.csv'", "copy t to stdout"}},
  // What is left at the end is a statement; a lone `;` an empty one.
  {";\nselect 'open", {"select 'open"}},
  // Found against psql: \gset and its kin send; \r drops the statement so
  // far; a command's arguments end at a backslash, and `\\` after them
  // hands the rest of the line back to SQL; \: is a colon.
  {"select 1 as x \\gset\nselect 2 \\r\nselect 3 where false \\gexec\nselect 4 as a \\: b;",
   {"select 1 as x", "client: \\r", "select 3 where false", "select 4 as a : b"}},
  {"\\echo a \\\\ select 5;\n\\set x 'a\\'b' \\echo \"c\\d\"\n",
   {"client: \\echo a \\\\", "select 5", "client: \\set x 'a\\'b'", "client: \\echo \"c\\d\""}},
  // Rows follow \copy ... from stdin, a COPY sent by \g, and a COPY after \;.
  {"\\copy t (a) from stdin with (format csv)\n1\n\\.\n"
   "copy t from stdin \\g\n2\n\\.\nselect 3 \\; copy t from stdin;\n4\n\\.\n",
   {"client: \\copy t (a) from stdin with (format csv) <data: 1\n>", "copy t from stdin <data: 2\n>",
    "select 3 ; copy t from stdin <data: 4\n>"}},
  // standard_conforming_strings off: backslashes escape in '...' from the next line on.
  {"set standard_conforming_strings = off; select 'a\\', 'b';\nselect 'c\\';d', B'1\\';\nreset all;\nselect 'e\\';",
   {"set standard_conforming_strings = off", "select 'a\\', 'b'", "select 'c\\';d', B'1\\'", "reset all",
    "select 'e\\'"}},
};

inline const std::vector<NativeRow> kSqliteShellRows = {
  {"select 1; select 2;", {"select 1", "select 2"}},
  // A trigger's body runs to its END, a CASE inside it included.
  {"create trigger tr after insert on t begin\n  update t set a = case when new.a > 0 then 1 else 2 end;\n"
   "  select 1;\nend;\nselect 2;",
   {"create trigger tr after insert on t begin\n  update t set a = case when new.a > 0 then 1 else 2 end;\n"
    "  select 1;\nend",
    "select 2"}},
  {"create temp trigger t2 after insert on t begin select 1; end; explain select 1;",
   {"create temp trigger t2 after insert on t begin select 1; end", "explain select 1"}},
  // A trigger not at the start of the statement is not one to the shell.
  {"explain create trigger x after insert on t begin select 1; end;",
   {"explain create trigger x after insert on t begin select 1; end"}},
  {"select 1\ngo\nselect 2\n  /  \nselect 3", {"select 1", "select 2", "select 3"}},
  {"select 'go\n/'\n;", {"select 'go\n/'"}},
  // Dot-commands and # lines where a statement starts; elsewhere they are SQL.
  {".print hello\n-- c\n.read x.sql\n# note\nselect 5;",
   {"client: .print hello", "client: .read x.sql", "client: # note", "select 5"}},
  {"  .print x\nselect 1;", {".print x\nselect 1"}},
  {"select [a;b], `c;d`, \"e;f\" from t; select 6 -- ;\n;", {"select [a;b], `c;d`, \"e;f\" from t", "select 6"}},
  {"select 7", {"select 7"}},
  // Found against the shell: a comment may follow `go` on its line.
  {"select 1\ngo /* c */\nselect 2;", {"select 1", "select 2"}},
};

inline const std::vector<NativeRow> kMysqlClientRows = {
  {"select s.nextval;", {"select s.nextval [effect: nextval]"}},
  {"select 1; select 2;", {"select 1", "select 2"}},
  // DELIMITER: everything up to it is one query; it counts inside words.
  {"DELIMITER //\ncreate procedure p() begin select 5; select 6; end//\nselect 7; select 8//\ndelimiter ;\nselect 9;",
   {"client: DELIMITER //", "create procedure p() begin select 5; select 6; end", "select 7; select 8",
    "client: delimiter ;", "select 9"}},
  {"delimiter $$\ncreate trigger t before insert on x for each row begin set @a=1; end$$\ndelimiter ;",
   {"client: delimiter $$", "create trigger t before insert on x for each row begin set @a=1; end",
    "client: delimiter ;"}},
  {"delimiter ;;\nselect 8;; select 9 ;;\ndelimiter ;", {"client: delimiter ;;", "select 8", "select 9", "client: delimiter ;"}},
  // Comments: `#`; `--` only before a blank, or where a statement starts.
  {"select 1 # c;\n, 2; select 3 --x\n, 4; select 5 -- y;\n, 6;", {"select 1 \n, 2", "select 3 --x\n, 4", "select 5 \n, 6"}},
  {"--x;\nselect 1;", {"select 1"}},
  // Backslash escapes; backquoted names.
  {"select 'a\\';b', \"c\\\";d\", `e;f`; select 'g''h';", {"select 'a\\';b', \"c\\\";d\", `e;f`", "select 'g''h'"}},
  // Executable comments are SQL, and a delimiter inside one ends the statement.
  {"/*!40101 SET NAMES utf8 */;\n/*M!100101 SET @y=2 */;\n/*!40101 SET @a=1; */ select 8;",
   {"/*!40101 SET NAMES utf8 */", "/*M!100101 SET @y=2 */", "/*!40101 SET @a=1", "*/ select 8"}},
  // Client commands: named where a statement starts, or as the whole
  // statement; backslash commands anywhere.
  {"use test\nselect 6; use test; select 7;\nsource x.sql\n\\. y.sql\n",
   {"client: use test", "select 6", "client: use test", "select 7", "client: source x.sql", "client: \\. y.sql"}},
  {"select 4 \\g\nselect 5\\G\nselect 9 \\u test\n;", {"select 4", "select 5", "client: \\u test", "select 9"}},
  {"/*M!999999\\- enable the sandbox mode */\nselect 7;", {"client: \\-", "/*M!999999 enable the sandbox mode */\nselect 7"}},
  {"select 1 \\c select 2;", {"client: \\c", "select 2"}},
  {"select 10\n", {"select 10"}},
  // Found against the mariadb client: quotes follow sql_mode's
  // NO_BACKSLASH_ESCAPES and ANSI_QUOTES, saved and set back as dumps do;
  // optimizer hints are comments.
  {"/*!50003 SET @saved = @@sql_mode */ ;\n/*!50003 SET sql_mode = 'NO_BACKSLASH_ESCAPES' */ ;\nselect 'c\\';\n"
   "/*!50003 SET sql_mode = @saved */ ;\nset sql_mode = 'ANSI'; select \"d\\\", 'f\\';g';",
   {"/*!50003 SET @saved = @@sql_mode */", "/*!50003 SET sql_mode = 'NO_BACKSLASH_ESCAPES' */", "select 'c\\'",
    "/*!50003 SET sql_mode = @saved */", "set sql_mode = 'ANSI'", "select \"d\\\", 'f\\';g'"}},
  {"select /*+ ; */ 2;", {"select  2"}},
};

}  // namespace kxsql::testing
