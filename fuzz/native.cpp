// The native rules for every dialect, in both widths and through the file
// source. The first byte picks the DBMS type (byte % 10); the rest is the
// script.
// - splitting ends: each call reads on, and there are never more statements
//   than characters;
// - the native tokens (GetToken under the native rules) concatenate back to
//   the script;
// - no character is lost: every character that no client drops (blanks and
//   terminators may go) is in some statement's text or data, as often as in
//   the script;
// - 8-bit text, 16-bit text and the file source give the same statements.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "statements/native/client.h"

namespace {

using kxsql::fuzz::IsAscii;

const DBMSTYPE* const kTypes[] = {
    &DBMSTYPE::GENERIC, &DBMSTYPE::ORACLE,   &DBMSTYPE::DB2,    &DBMSTYPE::INFORMIX, &DBMSTYPE::SQLSERVER,
    &DBMSTYPE::SYBASE,  &DBMSTYPE::POSTGRES, &DBMSTYPE::ACCESS, &DBMSTYPE::SQLITE,   &DBMSTYPE::MYSQL,
};

template <class T>
std::string Narrow(const T* text) {
  std::string s;
  for (; *text; ++text) s += static_cast<char>(*text & 0xFF);
  return s;
}

struct Statement {
  int kind;
  unsigned repeat;
  std::string text, data;
  bool operator==(const Statement& o) const {
    return kind == o.kind && repeat == o.repeat && text == o.text && data == o.data;
  }
};

template <class T>
std::vector<Statement> Split(CKXSQLStreamT<T>& stream, const DBMSTYPE& dialect, std::size_t limit) {
  CKXTr tr;
  tr.SetDBMSType(dialect);
  std::vector<Statement> out;
  SQLStmtT<T> stmt;
  for (;;) {
    const long rc = stream.GetNextStmt(stmt, &tr, nullptr);
    FUZZ_CHECK(rc >= -1 && rc <= 1, "a result code of the contract");
    if (rc < 0) break;
    out.push_back({stmt.GetKind(), stmt.GetRepeatCount(), Narrow(stmt.GetText()), Narrow(stmt.GetData())});
    FUZZ_CHECK(out.size() <= limit, "never more statements than characters");
    if (rc == 1) break;
  }
  return out;
}

// Characters a client may drop: blanks, and the ends of statements and
// commands it consumes.
bool Droppable(char c, const DBMSTYPE& dialect) {
  if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') return true;
  if (c == ';' || c == '/' || c == '\\' || c == '.') return true;
  // GO lines (sqlcmd, the sqlite3 shell) with their count or comment.
  if (dialect.GetGroup() == DBMSGroup::SqlServer || dialect.GetGroup() == DBMSGroup::SQLite)
    return c == 'g' || c == 'G' || c == 'o' || c == 'O' || (c >= '0' && c <= '9') || c == '-';
  // psql's \g and \gx, the mysql client's \g and \G.
  if (dialect.GetGroup() == DBMSGroup::Postgres) return c == 'g' || c == 'x';
  if (dialect.GetGroup() == DBMSGroup::MySQL) return c == 'g' || c == 'G';
  return false;
}

// The characters of every statement's text and data (a DATA piece repeats
// its COPY's text: only its rows count).
std::map<char, std::size_t> Kept(const std::vector<Statement>& statements) {
  std::map<char, std::size_t> kept;
  for (const Statement& s : statements) {
    if (s.kind != KXSQL_STMT_DATA)
      for (char c : s.text) ++kept[c];
    for (char c : s.data) ++kept[c];
  }
  return kept;
}

// The script without its `go` and `/` lines, which a client takes whole,
// a trailing comment included.
std::string WithoutTerminatorLines(const std::string& script) {
  std::string kept;
  std::size_t at = 0;
  while (at < script.size()) {
    std::size_t end = script.find_first_of("\r\n", at);
    end = end == std::string::npos ? script.size() : end + 1;
    const std::string line = script.substr(at, end - at);
    std::size_t i = line.find_first_not_of(" \t\v\f");
    bool terminator = false;
    if (i != std::string::npos) {
      std::size_t after = std::string::npos;
      if (line[i] == '/') after = i + 1;
      else if (line.size() >= i + 2 && (line[i] | 0x20) == 'g' && (line[i + 1] | 0x20) == 'o') after = i + 2;
      // Then a count, blanks, and a `--` comment or /* */ comments that close on the line.
      for (std::size_t rest = after; after != std::string::npos;) {
        rest = line.find_first_not_of(" \t\v\f\r\n0123456789", rest);
        if (rest == std::string::npos || line.compare(rest, 2, "--") == 0) {
          terminator = true;
          break;
        }
        if (line.compare(rest, 2, "/*") != 0) break;
        const std::size_t close = line.find("*/", rest + 2);
        if (close == std::string::npos) break;
        rest = close + 2;
      }
    }
    if (!terminator) kept += line;
    at = end;
  }
  return kept;
}

std::string TempPattern() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/kxsql-fuzz-native-XXXXXX";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const DBMSTYPE& dialect = *kTypes[data[0] % 10];
  const std::vector<char> narrow = kxsql::fuzz::NarrowText(data + 1, size - 1);
  if (narrow.size() <= 1) return 0;
  const std::size_t limit = narrow.size() + 2;
  const bool classic = kxsql::detail::ClientFor(dialect) == kxsql::detail::Client::kClassic;

  CKXSQLTextT<char> text8(narrow.data());
  text8.SetSplitRules(KXSQL_RULES_NATIVE);
  const std::vector<Statement> statements = Split(text8, dialect, limit);

  // Tokens concatenate back to the script.
  CKXSQLTextT<char> tokens(narrow.data());
  tokens.SetSplitRules(KXSQL_RULES_NATIVE, dialect);
  std::string joined;
  SQLToken<char> token;
  for (long rc; (rc = tokens.GetToken(token, 0)) == 0;) joined.append(token.GetText(), token.GetLength());
  const std::string script(narrow.data());
  // (A NUL stops the classic tokenizer, which the dialects without a client of their own keep.)
  if (!classic) FUZZ_CHECK(joined == script, "native tokens concatenate back to the script");

  // No character lost (the mysql client's \c and psql's \r drop what was
  // typed, psql's and mysql's \g take arguments along, and DELIMITER and
  // DB2's TERMINATOR make any string a terminator; sqlcmd's RESET drops the
  // batch).
  std::string lower = script;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  const bool redefines = lower.find("\\c") != std::string::npos || lower.find("\\d") != std::string::npos ||
                         lower.find("\\g") != std::string::npos || lower.find("\\r") != std::string::npos ||
                         lower.find("delimiter") != std::string::npos ||
                         lower.find("terminator") != std::string::npos || lower.find("reset") != std::string::npos;
  if (!redefines && !classic) {
    std::map<char, std::size_t> expected;
    for (char c : WithoutTerminatorLines(script))
      if (!Droppable(c, dialect)) ++expected[c];
    std::map<char, std::size_t> kept = Kept(statements);
    for (const auto& [c, n] : expected) FUZZ_CHECK(kept[c] >= n, "every character that no client drops is kept");
  }

  // The other width and the file source cut the same statements.
  if (IsAscii(narrow)) {
    const std::vector<unsigned short> wide = kxsql::fuzz::WidenedText(narrow);
    CKXSQLTextT<unsigned short> text16(wide.data());
    text16.SetSplitRules(KXSQL_RULES_NATIVE);
    FUZZ_CHECK(Split(text16, dialect, limit) == statements, "both widths cut the same statements");
  }
  std::string pattern = TempPattern();
  char* const path = pattern.data();
  const int fd = ::mkstemp(path);
  if (fd >= 0) {
    const bool written = ::write(fd, script.data(), script.size()) == static_cast<ssize_t>(script.size());
    ::close(fd);
    CKXSQLFile file;
    if (written && file.Open(path) == 1) {
      file.SetSplitRules(KXSQL_RULES_NATIVE);
      // Unmarked UTF-16 and non-UTF-8 bytes decode differently in a file.
      if (IsAscii(narrow) && script.find('\0') == std::string::npos)
        FUZZ_CHECK(Split(file, dialect, limit) == statements, "the file source cuts the same statements");
    }
    ::unlink(path);
  }
  return 0;
}
