// The run-based path against the token path (tests/support/split_paths.h)
// over whole scripts: the examples, the generated benchmark scripts of every
// flavour and a script of odd cases, split as 8-bit and 16-bit text, and from
// files whose 4096-byte chunks end at many places in them. Under the native
// rules the same, and the clients' test scripts, cut by every client's runs
// of plain lexemes and by its lexer alone.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/corpus.h"
#include "support/split_paths.h"
#include "support/test_text.h"

namespace kxsql::testing {
namespace {

const DBMSTYPE* const kAllTypes[] = {
    &DBMSTYPE::GENERIC, &DBMSTYPE::ORACLE,   &DBMSTYPE::DB2,    &DBMSTYPE::INFORMIX, &DBMSTYPE::SQLSERVER,
    &DBMSTYPE::SYBASE,  &DBMSTYPE::POSTGRES, &DBMSTYPE::ACCESS, &DBMSTYPE::SQLITE,   &DBMSTYPE::MYSQL,
};

// Every token kind at the places where the window's end or the rules decide:
// a `/` in and out of the first column, CR LF, comments that do not nest,
// blocks of every kind, BEGIN TRAN, stored code, dollar bodies, a side
// effect, and at the end a string that is still open.
const char kOddCases[] =
    "SELECT a.b, 'it''s', \"q\"\"q\" FROM t; -- done\r\n/* a /* b */ x */;\r\n/\r\n / x/y 12.5 _x1 #tmp $1\r\n"
    "SELECT s.NEXTVAL, 2.nextval FROM dual\n/\nBEGIN TRAN\nCOMMIT;\nbegin\ttransaction; BEGIN work\nGO\n"
    "go\n  GO\nDROP PROCEDURE p; ALTER TRIGGER t ON x AS SELECT 1; DISABLE TRIGGER t ON x;\n"
    "CREATE PROCEDURE p AS BEGIN IF x THEN FOR r IN c LOOP NULL; END LOOP; END IF; BEGIN y; END; END;\n"
    "CREATE TRIGGER t AFTER INSERT ON x FOR EACH ROW BEGIN z; END;\n"
    "CREATE FUNCTION f() RETURNS int AS $$ BEGIN RETURN $1; END; $$ LANGUAGE plpgsql;\nSELECT $$$$, $ ;\n"
    "/*/ still a comment */ -x--y\n--\n-\n;;\nSELECT 'open\nline two";

// The clients' own rules at the places where their runs of plain lexemes
// stop for the lexer: string prefixes, backslash strings after SET, COPY
// rows, routine bodies, commands, GO and `/` lines, q-quotes, DELIMITER and
// TERMINATOR, executable comments, dot-commands, blanks beyond space and
// tab, letters beyond ASCII, and at the end a string that is still open.
const char kNativeOddCases[] =
    "SET standard_conforming_strings = off;\nselect 'a\\'b', E'c\\'d', B'01', X'1f', U&'x', u&\"y\", e, b, "
    "\"q\"\"q\", $1, a$b$, $t$ body; $t$;\r\nreset all;\nCOPY t (a, b) FROM stdin;\n1\tx\n\\.\n"
    "create or replace function f() returns int begin atomic select case when 1 then 2 end; end;\n"
    "select (1;\n2); -- c ;\n /* n /* c */ ; */ x.nextval, 1.5e3 \\g\n\\echo hi \\\\ select 2;\n"
    "GO\n go 2\n:setvar x 1\nselect N'n', [a]]b], $(x) ; exit(select 1)\n"
    "select q'[it's]', nq'{x}', Q'<y>' from dual;\n#set x\n/\n.\nSET sql_mode = 'ANSI_QUOTES';\n"
    "select 'a\\'', \"b\\\";\nSET @m = @@sql_mode, sql_mode = DEFAULT;\nDELIMITER $$\nselect 1$$ select `a``b` # c\n$$\n"
    "DELIMITER ;\n/*!40101 SET x=1 */;\nselect 1 \\G\n.headers on\n# note\nexplain select 1;\n"
    "create temp trigger t after insert on x begin select 1; end;\n--#SET TERMINATOR @\n"
    "begin atomic if x then y; end if; end@\n--#SET TERMINATOR ;\n\v\f\xc3\xa9 \xc3\xbc 'x' ; 'open";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

struct Script {
  std::string name;
  std::string text;
  std::vector<const DBMSTYPE*> dialects;
};

std::vector<Script> Scripts() {
  using bench::Flavour;
  const std::string examples = std::string(KXSQL_SOURCE_DIR) + "/examples/scripts/";
  const std::vector<const DBMSTYPE*> all(std::begin(kAllTypes), std::end(kAllTypes));
  const std::size_t size = 96 << 10;
  return {
      {"odd cases", kOddCases, all},
      {"payroll.sql", ReadFile(examples + "payroll.sql"), all},
      {"bookshop.sql", ReadFile(examples + "bookshop.sql"), {&DBMSTYPE::SQLITE, &DBMSTYPE::POSTGRES}},
      {"postgres corpus", bench::GenerateCorpus(Flavour::kPostgres, size), {&DBMSTYPE::POSTGRES, &DBMSTYPE::ORACLE}},
      {"sqlserver corpus", bench::GenerateCorpus(Flavour::kSqlServer, size), {&DBMSTYPE::SQLSERVER}},
      {"oracle corpus", bench::GenerateCorpus(Flavour::kOracle, size), {&DBMSTYPE::ORACLE, &DBMSTYPE::DB2}},
      {"nested corpus", bench::GenerateCorpus(Flavour::kNested, 1), {&DBMSTYPE::SQLSERVER}},
  };
}

// Every script above and the clients' test scripts, under the native rules
// of every client.
std::vector<Script> NativeScripts() {
  const std::vector<const DBMSTYPE*> clients = {&DBMSTYPE::POSTGRES, &DBMSTYPE::SQLITE,    &DBMSTYPE::MYSQL,
                                                &DBMSTYPE::ORACLE,   &DBMSTYPE::SQLSERVER, &DBMSTYPE::DB2};
  std::vector<Script> scripts = {{"native odd cases", kNativeOddCases, clients}};
  for (Script& script : Scripts()) scripts.push_back({script.name, script.text, clients});
  const std::string dir = std::string(KXSQL_SOURCE_DIR) + "/";
  for (const char* name : {"examples/scripts/pg_dump_excerpt.sql", "tests/native/scripts/psql.sql",
                           "tests/native/scripts/psql_schema.sql", "tests/native/scripts/sqlite3.sql",
                           "tests/native/scripts/sqlite3_schema.sql", "tests/native/scripts/mysql.sql",
                           "tests/native/scripts/mysql_schema.sql"})
    scripts.push_back({name, ReadFile(dir + name), clients});
  return scripts;
}

// The flags word of the DBMS type, and one that leaves comments and CRs out
// of the parsed text and the token that ends a block's seek out of the statement.
std::vector<SplitCall> Calls(const CKXTr& tr) { return {{&tr, false, 0}, {&tr, true, 0x311}}; }

void AgreeOnTextOfBothWidths(const std::vector<Script>& scripts, int rules) {
  for (const Script& script : scripts) {
    const Text<char> text8(script.text);
    const Text<unsigned short> text16(script.text);
    for (const DBMSTYPE* dbms : script.dialects) {
      CKXTr tr;
      tr.SetDBMSType(*dbms);
      for (const SplitCall& call : Calls(tr)) {
        SCOPED_TRACE(script.name + " as " + dbms->GetName() + (call.own_flags ? ", flags 0x311" : ""));
        EXPECT_EQ(CompareTextPaths<char>(text8.c_str(), script.text.size(), call, rules), "");
        EXPECT_EQ(CompareTextPaths<unsigned short>(text16.c_str(), script.text.size(), call, rules), "");
      }
    }
  }
}

// Blank lines (under the native rules a comment) in front move the chunk
// ends through the script: every character of the odd cases stands at the
// end of the first chunk once, and many of the other small scripts'.
void AgreeAcrossFileChunks(const std::vector<Script>& scripts, int rules) {
  const bool native = rules == KXSQL_RULES_NATIVE;
  for (const Script& script : scripts) {
    const std::size_t size = script.text.size();
    const bool small = size < 4000;
    const std::size_t shifts = small ? size + 1 : native ? 3 : 7;
    const std::size_t step = native && small && script.name.find("odd") == std::string::npos ? size / 64 + 1 : 1;
    for (const DBMSTYPE* dbms : script.dialects) {
      CKXTr tr;
      tr.SetDBMSType(*dbms);
      for (std::size_t shift = 0; shift < shifts; shift += step) {
        SCOPED_TRACE(script.name + " as " + dbms->GetName() + " starting " + std::to_string(shift) +
                     " characters before a chunk's end");
        const std::string pad = native ? "-- " + std::string(4091 - shift, 'x') + "\n" : std::string(4095 - shift, '\n');
        for (const SplitCall& call : Calls(tr)) {
          ASSERT_EQ(CompareFilePaths(pad + script.text, call, rules), "");
          if (native && !small) break;
        }
      }
      if (!native) break;  // the first dialect
    }
  }
  // A NUL in a file ends a statement with 1 under the classic rules, and the input goes on.
  CKXTr tr;
  for (const SplitCall& call : Calls(tr))
    EXPECT_EQ(CompareFilePaths(std::string("select 1;\0select 2; x", 21), call, rules), "");
}

TEST(SplitPaths, AgreeOnTextOfBothWidths) { AgreeOnTextOfBothWidths(Scripts(), KXSQL_RULES_CLASSIC); }
TEST(SplitPaths, AgreeAcrossFileChunks) { AgreeAcrossFileChunks(Scripts(), KXSQL_RULES_CLASSIC); }
// Each client's runs of plain lexemes against its lexer alone.
TEST(NativePaths, AgreeOnTextOfBothWidths) { AgreeOnTextOfBothWidths(NativeScripts(), KXSQL_RULES_NATIVE); }
TEST(NativePaths, AgreeAcrossFileChunks) { AgreeAcrossFileChunks(NativeScripts(), KXSQL_RULES_NATIVE); }

}  // namespace
}  // namespace kxsql::testing
