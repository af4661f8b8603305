#include "cli/line_counter.h"

#include <cstring>

namespace kxsql::cli {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Counts the line ends from `from` to `end` into `line`. CR LF ends one
// line, at its CR.
void CountLineEnds(const char* from, const char* end, unsigned long long& line, bool& after_cr) noexcept {
  for (const char* p = from; p < end; ++p) {
    if (*p == '\r' || (*p == '\n' && !after_cr)) ++line;
    after_cr = *p == '\r';
  }
}

}  // namespace

void LineCounter::Count(const char* from, const char* end) noexcept {
  if (from == nullptr || end == nullptr || end <= from) return;
  const char* p = from;
  for (; in_leading_blanks_ && p < end; ++p) {
    const char c = *p;
    const bool line_end = c == '\r' || (c == '\n' && !after_cr_);
    after_cr_ = c == '\r';
    if (line_end) {
      ++line_;
      ++leading_line_ends_;
    } else if (!IsBlank(c)) {
      in_leading_blanks_ = false;
    }
  }
  if (p == end) return;
  const std::size_t size = static_cast<std::size_t>(end - p);
  if (std::memchr(p, '\r', size) != nullptr) {
    CountLineEnds(p, end, line_, after_cr_);
    return;
  }
  // Line feeds alone, the common case, are found by memchr, which reads many
  // bytes at a time; after a carriage return a line feed ends no line.
  if (after_cr_ && *p == '\n') ++p;
  while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr) {
    ++line_;
    ++p;
  }
  after_cr_ = false;
}

unsigned long long LineCounter::LineAt(const char* from, const char* at) const noexcept {
  unsigned long long line = line_;
  bool after_cr = after_cr_;
  if (from != nullptr && at != nullptr) CountLineEnds(from, at, line, after_cr);
  return line;
}

void LineCounter::BeginStatement() noexcept {
  statement_start_line_ = line_;
  leading_line_ends_ = 0;
  in_leading_blanks_ = true;
}

unsigned long long LineCounter::StatementLine(const SQLStmtT<char>& stmt) const {
  // The statement's text starts after its trimmed leading blanks; count the
  // line ends of the comments before its first compare token.
  unsigned long long line = TextLine();
  const char* text = stmt.GetText();
  if (text == nullptr || *text == 0 || stmt.GetFirstToken().GetLength() == 0) return line;
  bool after_cr = false;
  CKXSQLTextT<char> reader(text);
  SQLToken<char> token;
  while (reader.GetToken(token, 0) == 0 && !token.IsCompare())
    CountLineEnds(token.GetText(), token.GetText() + token.GetLength(), line, after_cr);
  return line;
}

}  // namespace kxsql::cli
