// The native rules of the clients that cannot run here, SQL*Plus, sqlcmd and
// the DB2 command line processor: each row is a script and the statements
// that client sends for it, as its documentation describes.
#include <gtest/gtest.h>

#include "statements/native_support.h"

namespace kxsql::testing {
namespace {

TEST(NativeRules, SqlPlus) {
  Check(DBMSTYPE::ORACLE, {
      {"select 1 from dual;\nselect 2 from dual\n/\n", {"select 1 from dual", "select 2 from dual"}},
      // A `;` ends SQL only at the end of its line; blanks, comments after it.
      {"select 1 from dual; select 2 from dual; -- both\nselect 3\n\nfrom dual;  /* c */\n",
       {"select 1 from dual; select 2 from dual", "select 3\n\nfrom dual"}},
      // PL/SQL units run to a `/` or `.` line and keep their END;.
      {"begin\n  null;\nend;\n/\nselect 1 from dual;", {"begin\n  null;\nend;", "select 1 from dual"}},
      {"create or replace editionable package body p as\n  procedure x is begin null; end;\nend p;\n  /  \n",
       {"create or replace editionable package body p as\n  procedure x is begin null; end;\nend p;"}},
      {"CREATE TYPE t AS OBJECT (a NUMBER);\n.\ndeclare x int;\nbegin x := 1; end;\n/\r\n",
       {"CREATE TYPE t AS OBJECT (a NUMBER);", "declare x int;\nbegin x := 1; end;"}},
      {"with function f return number is begin return 1; end;\nselect f from dual;\n/",
       {"with function f return number is begin return 1; end;\nselect f from dual;"}},
      {"create table t (a int);\ncreate index i on t (a)\n/\ndelete from t;\nsavepoint a;",
       {"create table t (a int)", "create index i on t (a)", "delete from t", "savepoint a"}},
      // A `/` with nothing open runs nothing (SQL*Plus would run the last statement again).
      {"select 1 from dual;\n/\n/\n", {"select 1 from dual"}},
      // Strings, q'...' quoting, names and comments hide `;` and `/` lines.
      {"select 'a;\n/\n' from dual;\nselect q'[it's;]', nq'{x;}', \"y;\" from dual /* ;\n/\n*/;\n",
       {"select 'a;\n/\n' from dual", "select q'[it's;]', nq'{x;}', \"y;\" from dual"}},
      // SQL*Plus commands where a statement starts, abbreviated or not; `-`
      // continues one, except a remark.
      {"set echo on\nrem -----\nprompt one -\ntwo\n@@sub.sql\nCOL x format a10\nspo out.txt\nexec p(1);\nselect 1 from dual;",
       {"client: set echo on", "client: rem -----", "client: prompt one -\ntwo", "client: @@sub.sql",
        "client: COL x format a10", "client: spo out.txt", "client: exec p(1);", "select 1 from dual"}},
      {"SET TRANSACTION READ ONLY;\nset role all;\nwhenever sqlerror exit 1\n",
       {"SET TRANSACTION READ ONLY", "set role all", "client: whenever sqlerror exit 1"}},
      // Inside a statement a command word is SQL; a `#` line runs at once.
      {"select 1\nprompt x\nfrom dual;\nselect 2\n#set pagesize 10\nfrom dual;",
       {"select 1\nprompt x\nfrom dual", "client: #set pagesize 10", "select 2\nfrom dual"}},
      {"select 1 from dual", {"select 1 from dual"}},
  });
}

TEST(NativeRules, Sqlcmd) {
  Check(DBMSTYPE::SQLSERVER, {
      {"select 1\ngo\nselect 2; select 3\nGO\n", {"select 1", "select 2; select 3"}},
      // GO alone on its line, any case, with a count and a comment.
      {"insert t default values\n  Go 3  -- thrice\nselect 4\ngo /* once */\n", {"insert t default values (x3)", "select 4"}},
      {"select 1 go\ngoto done\ngo;\ngo x\nGO 0\nselect 'a' as go\ngo", {"select 1 go\ngoto done\ngo;\ngo x\nGO 0\nselect 'a' as go"}},
      // Strings, names and nested comments hide GO lines.
      {"select 'a\ngo\n', N'b\ngo\n', \"c\ngo\n\", [d\ngo]]\n]\ngo\n/* x /* y */\ngo\n*/ select 5\ngo\n",
       {"select 'a\ngo\n', N'b\ngo\n', \"c\ngo\n\", [d\ngo]]\n]", "select 5"}},
      {"go\n\ngo 2\nselect 1\r\ngo\r\nselect 2", {"select 1", "select 2"}},
      {"create procedure p as\nbegin\n  select 1;\nend\ngo\nexec p\n", {"create procedure p as\nbegin\n  select 1;\nend", "exec p"}},
      // sqlcmd commands at a line start; inside a batch they come out first.
      {":setvar db test\n:r other.sql\nuse $(db)\n:on error exit\ngo\n!! dir\n:xml on\n",
       {"client: :setvar db test", "client: :r other.sql", "client: :on error exit", "use $(db)", "client: !! dir",
        "client: :xml on"}},
      {"select 1\n  :out file.txt\nselect :x\ngo\nselect 3\nreset\nselect 4\ngo\n", {"client: :out file.txt", "select 1\nselect :x", "client: reset", "select 4"}},
      // EXIT(...) runs the batch before it; QUIT and EXIT leave it unsent.
      {"select 1\nexit(select 2)\nselect 3\n:quit\n", {"select 1", "client: exit(select 2)", "client: :quit", "select 3"}},
  });
  Check(DBMSTYPE::SYBASE, {{"select 1\ngo 2\nexit\n", {"select 1 (x2)", "client: exit"}}});
}

TEST(NativeRules, Db2Clp) {
  Check(DBMSTYPE::DB2, {
      {"select 1 from t;\nselect 2 from t;", {"select 1 from t", "select 2 from t"}},
      // The terminator counts only at the end of its line.
      {"select 1 from t; select 2 from t;\nvalues 3;  \nvalues 4; -- c\n;\n", {"select 1 from t; select 2 from t", "values 3", "values 4;"}},
      // Routines, triggers and compounds run to the END of their outer BEGIN.
      {"create trigger t after insert on x for each row\nbegin atomic\n  update y set a = 1;\nend;\nvalues 1;",
       {"create trigger t after insert on x for each row\nbegin atomic\n  update y set a = 1;\nend", "values 1"}},
      {"create or replace procedure p()\nbegin\n  declare i int default 0;\n  if i = 0 then\n    set i = 1;\n  end if;\n"
       "  case i when 1 then\n    set i = 2;\n  end case;\n  l1: loop\n    leave l1;\n  end loop;\n"
       "  while i < 3 do\n    set i = case when i > 0 then repeat('x', 2) else 'y' end;\n  end while;\n"
       "  repeat\n    set i = i + 1;\n  until i > 5 end repeat;\n  for r as select a from t do\n    set i = 0;\n  end for;\nend;\nvalues 2;",
       {"create or replace procedure p()\nbegin\n  declare i int default 0;\n  if i = 0 then\n    set i = 1;\n  end if;\n"
        "  case i when 1 then\n    set i = 2;\n  end case;\n  l1: loop\n    leave l1;\n  end loop;\n"
        "  while i < 3 do\n    set i = case when i > 0 then repeat('x', 2) else 'y' end;\n  end while;\n"
        "  repeat\n    set i = i + 1;\n  until i > 5 end repeat;\n  for r as select a from t do\n    set i = 0;\n  end for;\nend",
        "values 2"}},
      {"create function f(a int) returns int return case when a > 0 then 1 else 2 end;\nbegin atomic\n  insert into t values 1;\nend;\n",
       {"create function f(a int) returns int return case when a > 0 then 1 else 2 end", "begin atomic\n  insert into t values 1;\nend"}},
      {"create table t (begin int, if int);\nselect case when 1 = 1 then 1 end from t;",
       {"create table t (begin int, if int)", "select case when 1 = 1 then 1 end from t"}},
      // --#SET TERMINATOR names another terminator; no tracking is needed then.
      {"--#SET TERMINATOR @\ncreate procedure p() begin\n  select 1 from t;\nend@\nvalues 1 @\n--#SET TERMINATOR ;\nvalues 2;",
       {"client: --#SET TERMINATOR @", "create procedure p() begin\n  select 1 from t;\nend", "values 1",
        "client: --#SET TERMINATOR ;", "values 2"}},
      {"--#set terminator !\nvalues 'a!'!\n--#SET TERMINATOR %%\nvalues 2%%\nvalues 3", {"client: --#set terminator !", "values 'a!'",
        "client: --#SET TERMINATOR %%", "values 2", "values 3"}},
      {"values 1\n--#SET TERMINATOR @\n+ 1@", {"client: --#SET TERMINATOR @", "values 1\n+ 1"}},
      // Strings, names and comments hide terminators.
      {"values 'a;\nb';\nvalues \"c;\n\" /* d;\n*/;\n", {"values 'a;\nb'", "values \"c;\n\""}},
  });
}

}  // namespace
}  // namespace kxsql::testing
