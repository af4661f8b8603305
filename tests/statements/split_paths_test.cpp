// The run-based path against the token path (tests/support/split_paths.h)
// over whole scripts: the examples, the generated benchmark scripts of every
// flavour and a script of odd cases, split as 8-bit and 16-bit text, and from
// files whose 4096-byte chunks end at many places in them.
#include <unistd.h>

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

// The flags word of the DBMS type, and one that leaves comments and CRs out
// of the parsed text and the token that ends a block's seek out of the statement.
std::vector<SplitCall> Calls(const CKXTr& tr) { return {{&tr, false, 0}, {&tr, true, 0x311}}; }

template <class T>
std::string CompareText(const std::string& script, const SplitCall& call) {
  const Text<T> text(script);
  CKXSQLTextT<T> fast(text.c_str());
  CKXSQLTextT<T> reference(text.c_str());
  return CompareSplitPaths<T>(fast, reference, call, script.size() + 2);
}

std::string CompareFile(const std::string& bytes, const SplitCall& call) {
  std::string pattern = ::testing::TempDir() + "kxsql-paths-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return "no temporary file";
  const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ::close(fd);
  CKXSQLFile fast;
  CKXSQLFile reference;
  std::string result = "cannot write or open the temporary file";
  if (written && fast.Open(pattern.c_str()) == 1 && reference.Open(pattern.c_str()) == 1)
    result = CompareSplitPaths<char>(fast, reference, call, bytes.size() + 2);
  ::unlink(pattern.c_str());
  return result;
}

TEST(SplitPaths, AgreeOnTextOfBothWidths) {
  for (const Script& script : Scripts()) {
    for (const DBMSTYPE* dbms : script.dialects) {
      CKXTr tr;
      tr.SetDBMSType(*dbms);
      for (const SplitCall& call : Calls(tr)) {
        SCOPED_TRACE(script.name + " as " + dbms->GetName() + (call.own_flags ? ", flags 0x311" : ""));
        EXPECT_EQ(CompareText<char>(script.text, call), "");
        EXPECT_EQ(CompareText<unsigned short>(script.text, call), "");
      }
    }
  }
}

// Blank lines in front move the chunk ends through the script: every
// character of the odd cases stands at the end of the first chunk once.
TEST(SplitPaths, AgreeAcrossFileChunks) {
  for (const Script& script : Scripts()) {
    const std::size_t shifts = script.text.size() < 4096 ? script.text.size() + 1 : 7;
    CKXTr tr;
    tr.SetDBMSType(*script.dialects.front());
    for (std::size_t shift = 0; shift < shifts; ++shift) {
      SCOPED_TRACE(script.name + " starting " + std::to_string(shift) + " characters before a chunk's end");
      const std::string pad(4096 - 1 - shift % 4096, '\n');
      for (const SplitCall& call : Calls(tr)) ASSERT_EQ(CompareFile(pad + script.text, call), "");
    }
  }
  // A NUL in a file ends a statement with 1, and the input goes on.
  CKXTr tr;
  for (const SplitCall& call : Calls(tr)) EXPECT_EQ(CompareFile(std::string("select 1;\0select 2; x", 21), call), "");
}

}  // namespace
}  // namespace kxsql::testing
