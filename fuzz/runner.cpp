// ParseSQL over a fresh in-memory SQLite database. The first byte picks the
// DBMS type whose rules split the script (byte % 10); the rest is the script.
// - the run ends with 0 (no limit on errors);
// - it hands over exactly the non-empty statements that the splitter gives;
// - every failure is counted once and reported once, so the statements
//   handed over are the ones that succeeded plus the ones that failed;
// - an ASCII script runs the same in both widths.
// The engine's work per input is bounded (a step budget, a size limit), and
// scripts that could loop for long or touch files (recursive queries,
// ATTACH, VACUUM INTO) are not run.
#include <sqlite3.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "transaction_impl.h"

namespace {

const DBMSTYPE* const kTypes[] = {
    &DBMSTYPE::GENERIC, &DBMSTYPE::ORACLE,   &DBMSTYPE::DB2,    &DBMSTYPE::INFORMIX, &DBMSTYPE::SQLSERVER,
    &DBMSTYPE::SYBASE,  &DBMSTYPE::POSTGRES, &DBMSTYPE::ACCESS, &DBMSTYPE::SQLITE,   &DBMSTYPE::MYSQL,
};
constexpr std::size_t kMaxScript = 4096;
constexpr unsigned int kErrorsBefore = 7;  // the runner must add to the error count, not reset it
constexpr unsigned int kNoLimit = 4294967295u;

// Progress calls (one per 1000 engine steps) left for the current run.
int g_steps_left = 0;
int OnProgress(void*) { return --g_steps_left < 0 ? 1 : 0; }

struct Counts {
  unsigned int statements;
  unsigned int errors;
};

bool ContainsNoCase(const std::vector<char>& text, const char* word) {
  std::string upper;
  for (char c : text) upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  return upper.find(word) != std::string::npos;
}

// What the runner must hand over: the statements that the splitter gives, up
// to the first empty one that comes with the end, less the empty ones.
template <class T>
unsigned int NonEmptyStatements(const T* script, CKXTr& tr) {
  CKXSQLTextT<T> source(script);
  SQLStmtT<T> stmt;
  unsigned int count = 0;
  while (!source.IsEOF()) {
    const long rc = source.GetNextStmt(stmt, &tr, nullptr);
    FUZZ_CHECK(rc >= 0, "an open text source failed to split");
    if (stmt.IsEmpty()) {
      if (rc > 0) break;
      continue;
    }
    ++count;
  }
  return count;
}

template <class T>
Counts Run(const T* script, const DBMSTYPE& type) {
  CKXTr tr;
  FUZZ_CHECK(tr.OpenSQLite(":memory:"), "no in-memory database");
  tr.SetDBMSType(type);
  sqlite3* db = tr.GetImpl().db;
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1 << 20);
  g_steps_left = 20000;
  sqlite3_progress_handler(db, 1000, OnProgress, nullptr);

  unsigned int reported = 0;
  CKXMsg::GetInstance()->SetListener([&reported](const CKXMessage& m) {
    if (m.source == "LoadSQL") ++reported;
  });
  Counts counts{12345, kErrorsBefore};
  CKXSQLTextT<T> source;
  const long rc = source.ParseSQL(script, &tr, counts.statements, counts.errors, kNoLimit);
  CKXMsg::GetInstance()->SetListener(nullptr);
  CKXMsg::GetInstance()->Reset();

  FUZZ_CHECK(rc == 0, "a run without an error limit did not reach the end");
  FUZZ_CHECK(!source.IsOpen(), "ParseSQL left the source open");
  FUZZ_CHECK(counts.errors >= kErrorsBefore, "the error count went down");
  const unsigned int failed = counts.errors - kErrorsBefore;
  FUZZ_CHECK(failed == reported, "failures counted and failures reported differ");
  FUZZ_CHECK(counts.statements >= failed, "more failures than statements handed over");
  FUZZ_CHECK(counts.statements == NonEmptyStatements(script, tr),
             "the statements handed over are not the splitter's non-empty statements");
  return counts;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Bounds what one input can make the engine allocate.
  sqlite3_hard_heap_limit64(256 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > kMaxScript) return 0;
  const DBMSTYPE& type = *kTypes[data[0] % 10];
  const std::vector<char> narrow = kxsql::fuzz::NarrowText(data + 1, size - 1);
  if (narrow.size() < 2) return 0;
  for (const char* word : {"RECURSIVE", "WITH", "ATTACH", "VACUUM"})
    if (ContainsNoCase(narrow, word)) return 0;

  const Counts narrow_counts = Run(narrow.data(), type);
  if (kxsql::fuzz::IsAscii(narrow)) {
    const std::vector<unsigned short> wide = kxsql::fuzz::WidenedText(narrow);
    const Counts wide_counts = Run(wide.data(), type);
    FUZZ_CHECK(wide_counts.statements == narrow_counts.statements && wide_counts.errors == narrow_counts.errors,
               "the widths ran differently");
  }
  return 0;
}
